# bash completion for tavro                                -*- shell-script -*-
# Installed as share/bash-completion/completions/tavro. The lists below follow
# "tavro --help" and the settings "tavro --set" accepts; tests/package checks
# them against the program.

_tavro() {
  local options='-E -D -P --password-file -AUTOSTART -AUTOEXIT --check -- --settings --set --file-type --hold --verbose --help --version'
  local settings='Zero Rand Confirm PasswordMask WriteReadOnly AutoExit HashCheck Verify'
  # $2 is what readline replaces: the text after the last word break (bash
  # splits at '=' too). The line up to the cursor, split at blanks, gives the
  # whole words around it.
  local cur=$2 line=${COMP_LINE:0:COMP_POINT} words
  read -r -a words <<<"$line"
  [[ $line =~ [[:space:]]$ ]] && words+=('')
  local n=${#words[@]} i
  local word=${words[n - 1]} before=
  ((n > 1)) && before=${words[n - 2]}

  # After "--" every word is a target.
  for ((i = 1; i < n - 1; i++)); do
    if [[ ${words[i]} == -- && ${words[i - 1]} != -[pP] ]]; then
      COMPREPLY=()
      return
    fi
  done

  if [[ $word == --file-type=* ]]; then
    COMPREPLY=($(compgen -W 'on off' -- "$cur"))
    return
  fi
  if [[ $word == --set=* ]]; then
    word=${word#--set=}
    before=--set
  fi
  if [[ $before == --set ]]; then
    if [[ $word == *=* ]]; then
      COMPREPLY=($(compgen -W '0 1' -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$settings" -S = -- "$cur"))
      compopt -o nospace 2>/dev/null
    fi
    return
  fi
  case $before in
    -[pP])  # the password: nothing to offer
      compopt +o default 2>/dev/null
      COMPREPLY=()
      return
      ;;
    --file-type)
      COMPREPLY=($(compgen -W 'on off' -- "$cur"))
      return
      ;;
    --password-file)  # a file name, or - for standard input
      COMPREPLY=()
      return
      ;;
  esac
  if [[ $word == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  COMPREPLY=()  # files and folders: readline's own completion
} && complete -o bashdefault -o default -F _tavro tavro
