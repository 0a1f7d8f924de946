#pragma once
// A rename that never replaces: what appeared at the new name meanwhile
// stays, and the rename fails with EEXIST.

namespace imaging::files {

// Both names inside the folder open as `folder`; 0, or -1 with errno.
int RenameNoReplace(int folder, const char* from, const char* to) noexcept;

} // namespace imaging::files
