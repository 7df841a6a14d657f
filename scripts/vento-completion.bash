# Bash completion for vento: verbs, options, module types, and instance names (of the graph file,
# or those a launch description gives with name=).
#   source scripts/vento-completion.bash      (completes ./vento, and vento when it is on the PATH)
# Module types come from the command itself ('vento list --names'), once per shell. './vento --32'
# (the 32-bit build) is completed as './vento' is.

_vento_types() { # COMMAND [--32]
  if [ -z "${_VENTO_TYPES:-}" ]; then
    _VENTO_TYPES="$("$@" list --names 2>/dev/null | tr -d '\r')"
  fi
  printf '%s\n' "$_VENTO_TYPES"
}

# The instance names a graph file gives its modules.
_vento_instances() {
  [ -f "$1" ] || return 0
  sed -n 's/.*<module[^>]*[[:space:]]name="\([^"]*\)".*/\1/p' "$1"
}

_vento_files() {
  local IFS=$'\n'
  COMPREPLY+=($(compgen -f -X "!*.$1" -- "$2") $(compgen -d -- "$2"))
}

_vento() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD-1]}"
  local cmd=("${COMP_WORDS[0]}") at=1
  case "${COMP_WORDS[1]:-}" in --32 | --64) cmd+=("${COMP_WORDS[1]}") at=2 ;; esac
  local verb="${COMP_WORDS[at]:-}"
  local IFS=$'\n'
  COMPREPLY=()
  if [ "$COMP_CWORD" -eq "$at" ]; then
    local verbs=$'register\nunregister\nlist\ninspect\nrun\nlaunch\npanel\nsave\nexport\ndot\nstudio\n--help'
    [ "$at" = 1 ] && verbs+=$'\n--32'
    COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
    return
  fi
  # The words after the verb that are not options or their values.
  local positional=() i
  for ((i = at + 1; i < COMP_CWORD; i++)); do
    case "${COMP_WORDS[i]}" in
      --seconds | --blocks | --tap | --chart | --bin-hz | --snapshot | --save | -o | --port) i=$((i + 1)) ;;
      -*) ;;
      *) positional+=("${COMP_WORDS[i]}") ;;
    esac
  done
  local run_options=$'--offline\n--seconds\n--blocks\n--windows\n--tap\n--chart\n--bin-hz\n--snapshot\n-q\n--help'
  case "$verb" in
    inspect)
      [ ${#positional[@]} -eq 0 ] && COMPREPLY=($(compgen -W "$(_vento_types "${cmd[@]}")" -- "$cur"))
      ;;
    run | launch)
      case "$prev" in
        --tap | --chart)
          local graph="${positional[0]:-}" names=""
          if [ "$verb" = run ]; then names="$(_vento_instances "$graph")"
          else names="$(printf '%s\n' "${COMP_WORDS[@]:at+1:COMP_CWORD-at-2}" | grep -o 'name=[^[:space:]!"'"'"']*' | cut -d= -f2)"
          fi
          [ -n "$names" ] && COMPREPLY=($(compgen -W "$(printf '%s.\n' $names)" -- "$cur")) && compopt -o nospace 2>/dev/null
          return ;;
        --snapshot) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --save) _vento_files xml "$cur"; return ;;
        --seconds | --blocks | --bin-hz) return ;;
      esac
      if [[ "$cur" == -* ]]; then
        [ "$verb" = launch ] && run_options+=$'\n--save'
        COMPREPLY=($(compgen -W "$run_options" -- "$cur"))
      elif [ "$verb" = run ]; then
        [ ${#positional[@]} -eq 0 ] && _vento_files xml "$cur"
      else
        COMPREPLY=($(compgen -W "$(_vento_types "${cmd[@]}")"$'\n!' -- "$cur"))
      fi
      ;;
    panel)
      if [[ "$cur" == -* ]]; then COMPREPLY=($(compgen -W $'--offline\n-q\n--help' -- "$cur"))
      elif [ ${#positional[@]} -eq 0 ]; then _vento_files xml "$cur"
      elif [ ${#positional[@]} -eq 1 ]; then COMPREPLY=($(compgen -W "$(_vento_instances "${positional[0]}")" -- "$cur"))
      fi
      ;;
    save) [ ${#positional[@]} -eq 0 ] && _vento_files xml "$cur" ;;
    studio)
      if [ "$prev" = --port ]; then return
      elif [[ "$cur" == -* ]]; then COMPREPLY=($(compgen -W $'--port\n--help' -- "$cur"))
      elif [ ${#positional[@]} -eq 0 ]; then _vento_files xml "$cur"
      fi
      ;;
    dot)
      if [ "$prev" = -o ]; then _vento_files dot "$cur"
      elif [[ "$cur" == -* ]]; then COMPREPLY=($(compgen -W $'-o\n--help' -- "$cur"))
      elif [ ${#positional[@]} -eq 0 ]; then _vento_files xml "$cur"
      fi
      ;;
    export)
      if [ ${#positional[@]} -eq 0 ]; then _vento_files vento "$cur"
      elif [ ${#positional[@]} -eq 1 ]; then COMPREPLY=($(compgen -f -- "$cur"))
      fi
      ;;
    list) [ ${#positional[@]} -eq 0 ] && COMPREPLY=($(compgen -W $'--names\n--help' -- "$cur")) ;;
  esac
}
complete -o filenames -F _vento vento ./vento
