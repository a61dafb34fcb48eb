# bash completion for taloveric
_taloveric() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -f|--format) COMPREPLY=($(compgen -W "text json" -- "$cur")); return ;;
    --inventory) COMPREPLY=($(compgen -W "jsonl csv" -- "$cur")); return ;;
    -d|--folder) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    -o|--output) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    -u|--user|--install|--codepage) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "--print --save --format --output --folder --user --sample --all-disks --install --inventory --codepage --help --version" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _taloveric taloveric
