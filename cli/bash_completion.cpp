#include "cli/bash_completion.h"

#include <algorithm>
#include <sstream>

namespace zemlo::cli {
namespace {

// The words of a usage text without the brackets that mark them optional or repeatable.
std::vector<std::string> UsageWords(const std::string& usage) {
  std::vector<std::string> words;
  std::istringstream in(usage);
  for (std::string word; in >> word;) {
    std::erase_if(word, [](char c) { return c == '[' || c == ']'; });
    if (word.ends_with("...")) word.resize(word.size() - 3);
    if (!word.empty()) words.push_back(word);
  }
  return words;
}

bool TakesValue(const CliCommand& command, const std::string& option) {
  if (option == "-o" || option == "--output") return true;
  return std::any_of(command.options.begin(), command.options.end(), [&](const std::string& name) {
    return name == option || name == option + "...";
  });
}

// The argument forms of a usage text ("list | download INDEX -o FILE | ..."), each as its
// positional words: literal choices ("dol|elf") or placeholders ("FILE", "ADDRESS").
std::vector<std::string> PositionalForms(const CliCommand& command) {
  std::vector<std::string> forms(1);
  const std::vector<std::string> words = UsageWords(command.usage);
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "|") {
      forms.emplace_back();
    } else if (word.starts_with("-")) {
      if (TakesValue(command, word)) ++i;
    } else {
      forms.back() += (forms.back().empty() ? "" : " ") + word;
    }
  }
  return forms;
}

// FILE or DIR for an option whose usage names its value so, empty for any other value.
std::string OptionValueKind(const CliCommand& command, const std::string& option) {
  if (option == "-o" || option == "--output") return "FILE";
  const std::vector<std::string> words = UsageWords(command.usage);
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i] == option && (words[i + 1] == "FILE" || words[i + 1] == "DIR")) {
      return words[i + 1];
    }
  }
  return "";
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

void WriteCommandCase(std::ostream& out, const CliCommand& command) {
  out << "    " << command.name << ")\n      forms=(";
  const char* separator = "";
  for (const std::string& form : PositionalForms(command)) {
    out << separator << Quoted(form);
    separator = " ";
  }
  out << ")\n      flags='--help --progress";
  for (const std::string& flag : command.flags) out << ' ' << flag;
  out << "'\n      valued=('-o:FILE' '--output:FILE'";
  for (std::string name : command.options) {
    if (name.ends_with("...")) name.resize(name.size() - 3);
    out << ' ' << Quoted(name + ":" + OptionValueKind(command, name));
  }
  out << ") ;;\n";
}

// The walk over the words typed so far; the per-command data comes before it.
constexpr char kCompletionFunction[] = R"(
# Words are split at blanks only, so that tcp:HOST:PORT stays one word.
_zemlo_cli() {
  local line=${COMP_LINE:0:COMP_POINT} words
  read -ra words <<<"$line"
  [[ $line =~ [[:space:]]$ || ${#words[@]} -eq 0 ]] && words+=("")
  local cur=${words[-1]} prev=
  ((${#words[@]} > 1)) && prev=${words[-2]}
  local command= positionals=() forms=() flags= valued=() i word
  for ((i = 1; i < ${#words[@]} - 1; i++)); do
    word=${words[i]}
    if [[ -z $command ]]; then
      case $word in
        --adapter) ((i++)) ;;
        -*) ;;
        *) command=$word; _zemlo_cli_command "$command" ;;
      esac
    elif [[ $word == -* ]]; then
      [[ " ${valued[*]} " == *" $word:"* ]] && ((i++))
    else
      positionals+=("$word")
    fi
  done

  local candidates=() kind=
  if [[ -z $command ]]; then
    if [[ $prev == --adapter ]]; then
      candidates=($_zemlo_cli_adapters)
    elif [[ $cur == -* ]]; then
      candidates=($_zemlo_cli_options)
    else
      candidates=($_zemlo_cli_commands)
    fi
  else
    local value is_value=0
    for value in "${valued[@]}"; do
      if [[ $prev == "${value%%:*}" ]]; then
        kind=${value#*:} is_value=1
        break
      fi
    done
    if ((is_value)); then
      [[ -n $kind ]] || return 0
    elif [[ $cur == -* ]]; then
      candidates=($flags "${valued[@]%%:*}")
    else
      _zemlo_cli_positional
    fi
  fi

  case $kind in
    FILE) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")) ;;
    DIR) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")) ;;
    *) COMPREPLY=($(compgen -W "${candidates[*]}" -- "$cur")) ;;
  esac
  [[ ${COMPREPLY[*]} == tcp: ]] && compopt -o nospace 2>/dev/null
  # bash replaces only what follows the last colon of the word.
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local typed=${cur%"${cur##*:}"}
    COMPREPLY=("${COMPREPLY[@]#"$typed"}")
  fi
  return 0
}

# The choices or the file kind for the next positional word: every argument form whose literal
# words agree with the words typed so far contributes.
_zemlo_cli_positional() {
  local form token n=${#positionals[@]} j matches
  for form in "${forms[@]}"; do
    local tokens=($form)
    ((n < ${#tokens[@]})) || continue
    matches=1
    for ((j = 0; j < n; j++)); do
      token=${tokens[j]}
      [[ $token =~ [A-Z] ]] && continue
      [[ "|$token|" == *"|${positionals[j]}|"* ]] || matches=0
    done
    ((matches)) || continue
    token=${tokens[n]}
    case $token in
      FILE | DIR) kind=$token ;;
      *[A-Z]*) ;;
      *) candidates+=(${token//|/ }) ;;
    esac
  done
}

complete -F _zemlo_cli zemlo-cli
)";

}  // namespace

std::string BashCompletionScript(const std::vector<CliCommand>& table) {
  std::ostringstream out;
  out << "# bash completion for zemlo-cli, written from its command table when it was built.\n\n"
         "_zemlo_cli_options='--adapter --help --version'\n"
         // tcp: is completed as far as the fixed part goes; the host and port are the user's.
         "_zemlo_cli_adapters='sim tcp: ftdi d2xx auto'\n"
         "_zemlo_cli_commands='";
  const char* separator = "";
  for (const CliCommand& command : table) {
    out << separator << command.name;
    separator = " ";
  }
  out << "'\n\n# Sets forms (the positional argument forms), flags and valued (OPTION:FILE, "
         "OPTION:DIR "
         "or\n# OPTION: for any other value) for a command.\n"
         "_zemlo_cli_command() {\n  forms=() flags= valued=()\n  case $1 in\n";
  for (const CliCommand& command : table) WriteCommandCase(out, command);
  out << "  esac\n}\n" << kCompletionFunction;
  return out.str();
}

}  // namespace zemlo::cli
