# Bash completion for kvcvrt-cli: its commands, their options, the data types
# and file names (model files for --model).
_kvcvrt_cli() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion || return
  else
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  fi

  local commands="convert export info types show stats diff help"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      convert | export | info | types | show | stats | diff | help)
        command=${words[i]}
        break
        ;;
    esac
  done

  case $prev in
    -i | --input | -o | --output)
      COMPREPLY=($(compgen -f -- "$cur"))
      [[ $cur == "" || $cur == "-" ]] && COMPREPLY+=("-")
      return
      ;;
    -m | --model)
      COMPREPLY=($(compgen -f -X '!*.[kK][vV]5' -- "$cur") $(compgen -d -- "$cur"))
      return
      ;;
    -t | --type)
      # The extensions, from the program's own list (the second last column).
      COMPREPLY=($(compgen -W "$(kvcvrt-cli types 2>/dev/null | awk 'NR > 1 { sub(/^\./, "", $(NF - 1)); print $(NF - 1) }')" -- "$cur"))
      return
      ;;
    --manifest)
      COMPREPLY=($(compgen -f -X '!*.[cC][sS][vV]' -- "$cur") $(compgen -d -- "$cur"))
      return
      ;;
    --minus)
      COMPREPLY=($(compgen -f -- "$cur"))
      return
      ;;
    -g | --grid | --periods | --period | --layers | --layer | --set | --range | --nodata | --tolerance | --band | --nodata-fill | --origin | --cell-size)
      return
      ;;
  esac

  local options
  case $command in
    "") options="--help -h --version -V" ;;
    convert) options="--input -i --manifest --model -m --grid -g --type -t --output -o --create -c --quiet -q --strict --period --layer --band --nodata-fill --help -h" ;;
    export) options="--model -m --grid -g --type -t --periods --output -o --quiet -q --layer --origin --cell-size --nodata --help -h" ;;
    info) options="--model -m --grid -g --type -t --check --help -h" ;;
    types) options="--help -h" ;;
    show) options="--input -i --model -m --grid -g --type -t --period --periods --layer --layers --set --range --minus --nodata --output -o --quiet -q --help -h" ;;
    stats) options="--input -i --model -m --grid -g --type -t --nodata --csv --help -h" ;;
    diff) options="--model -m --grid -g --type -t --tolerance --csv --quiet -q --all --help -h" ;;
    help)
      COMPREPLY=($(compgen -W "convert export info types show stats diff" -- "$cur"))
      return
      ;;
  esac
  if [[ -z $command && $cur != -* ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _kvcvrt_cli kvcvrt-cli
