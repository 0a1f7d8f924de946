# Warnings are errors-in-waiting: keep the build clean.
add_compile_options(-Wall -Wextra)

# The alpha-restoring pass must reproduce a fixed order of double operations
# bit for bit: no fused multiply-add, no fast-math reassociation, in every
# build variant.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(CHROMOBRISK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Coverage feedback for the fuzzer in every library it links.
if(CHROMOBRISK_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
