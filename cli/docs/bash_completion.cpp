#include "bash_completion.h"

#include "cli/color_names.h"
#include "cli/option_table.h"

namespace cli::docs {
namespace {

// Words joined by `separator`.
template <class Words>
std::string Joined(const Words& words, const char* separator)
{
    std::string joined;
    for (const auto& word : words) {
        if (!joined.empty()) joined += separator;
        joined += word;
    }
    return joined;
}

// The names of the options whose values complete as `completion`.
std::vector<std::string_view> NamesCompleting(ValueCompletion completion)
{
    std::vector<std::string_view> names;
    for (const DeclaredOption& declared : OptionTable())
        if (declared.takesValue() && declared.completion == completion)
            for (const std::string_view name : {declared.shortName, declared.longName})
                if (!name.empty()) names.push_back(name);
    return names;
}

std::string CaseOf(ValueCompletion completion) { return Joined(NamesCompleting(completion), "|"); }

} // namespace

std::string BashCompletion()
{
    std::vector<std::string_view> options, values, passes, colors;
    for (const DeclaredOption& declared : OptionTable())
        for (const std::string_view name : {declared.shortName, declared.longName})
            if (!name.empty()) {
                options.push_back(name);
                if (declared.takesValue()) values.push_back(name);
            }
    for (const DeclaredPass& pass : PassTable()) passes.push_back(pass.name);
    for (const NamedColor& color : ColorNames()) colors.push_back(color.name);

    std::string script = R"(# bash completion for chromobrisk-cli; made from its option table, do not edit.
_chromobrisk_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    # --name=value, which bash splits at the '='
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $prev in
        @COLOR@)
            COMPREPLY=($(compgen -W "@COLORS@" -- "${cur,,}"))
            return ;;
        @FILE@)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        @FOLDER@)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        @VALUE@)
            COMPREPLY=()
            return ;;
    esac

    # The pass is the first word that is neither an option nor its value;
    # after -- every word is a name.
    local i word pass= names_only=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $names_only ]]; then
            [[ $pass ]] || pass=$word
            continue
        fi
        case $word in
            --) names_only=1 ;;
            @VALUES@)
                [[ ${COMP_WORDS[i+1]} == = ]] && ((i++))
                ((i++)) ;;
            -*) ;;
            *) [[ $pass ]] || pass=$word ;;
        esac
    done
    if [[ ! $names_only && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "@OPTIONS@" -- "$cur"))
    elif [[ ! $pass ]]; then
        COMPREPLY=($(compgen -W "@PASSES@" -- "$cur"))
    else
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -F _chromobrisk_cli chromobrisk-cli
)";
    const std::pair<std::string, std::string> fills[] = {
        {"@COLOR@", CaseOf(ValueCompletion::Color)},
        {"@FILE@", CaseOf(ValueCompletion::File)},
        {"@FOLDER@", CaseOf(ValueCompletion::Folder)},
        {"@VALUE@", CaseOf(ValueCompletion::Nothing)},
        {"@VALUES@", Joined(values, "|")},
        {"@OPTIONS@", Joined(options, " ")},
        {"@PASSES@", Joined(passes, " ")},
        {"@COLORS@", Joined(colors, " ")},
    };
    for (const auto& [placeholder, text] : fills)
        for (std::size_t at; (at = script.find(placeholder)) != std::string::npos;)
            script.replace(at, placeholder.size(), text);
    return script;
}

} // namespace cli::docs
