# Bash completion for kestrel-load, kestrel-logo-convert and kestrel-sim: the options each
# program's --help lists, ports and serial devices after --port, the six speeds after --baud,
# picture files for the file arguments.
# The Debian package installs it in /usr/share/bash-completion/completions/. From the portable
# folder, source it (for instance from ~/.bashrc): . /path/to/folder/kestrel-completion.bash

# "NAME 1" for an option that takes a value, "NAME 0" for one that does not, one a line, as the
# program's --help lists them: "  -p, --port COMn|DEVICE", "  --repeat".
_kestrel_options() {
  local line re='^ {1,3}(-[a-zA-Z], )?(--?[a-zA-Z][-a-zA-Z]*)( [A-Z])?'
  "$1" --help 2>/dev/null | while IFS= read -r line; do
    [[ $line =~ $re ]] || continue
    local takes=0
    [[ -z ${BASH_REMATCH[3]} ]] || takes=1
    [[ -z ${BASH_REMATCH[1]} ]] || printf '%s %s\n' "${BASH_REMATCH[1]%, }" "$takes"
    printf '%s %s\n' "${BASH_REMATCH[2]}" "$takes"
  done
}

# COM1 to COM8, the COM numbers assigned to a device and the serial devices, as kestrel-load
# beside the program lists them (it opens no port); a path being typed completes as a file.
# In a list (COM1,COM3,...) the port after the last comma completes.
_kestrel_ports() {
  local program=$1 cur=$2 with_com=$3 before=""
  if [[ $with_com == yes && $cur == *,* ]]; then
    before=${cur%,*},
    cur=${cur##*,}
  fi
  _kestrel_port_words "$program" "$cur" "$with_com"
  ((${#COMPREPLY[@]} == 0)) || COMPREPLY=("${COMPREPLY[@]/#/$before}")
}

_kestrel_port_words() {
  local program=$1 cur=$2 with_com=$3
  if [[ $cur == */* ]]; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return
  fi
  local load=${program%kestrel-*}kestrel-load listed words=""
  [[ $with_com == yes ]] && words="COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8"
  if listed=$("$load" --list-ports 2>/dev/null); then
    words+=" $(cut -f1 <<<"$listed")"
    [[ $with_com == yes ]] && words+=" $(cut -f5 <<<"$listed" | tr ',' '\n' | grep -v '^-$')"
  else
    words+=" $(compgen -G '/dev/ttyUSB*') $(compgen -G '/dev/ttyACM*')"
  fi
  # An assigned COM number may be one of the eight already there.
  _kestrel_words "$(tr -s ' ' '\n' <<<"$words" | awk '!seen[$0]++')" "$cur"
}

_kestrel_words() { mapfile -t COMPREPLY < <(compgen -W "$1" -- "$2"); }

# _kestrel_files CUR [PATTERN]: folders, and files matching PATTERN (none for an empty one);
# hidden ones, as bash shows them, only once a dot is typed.
_kestrel_files() {
  local cur=$1 pattern=${2-*} extglob hidden='(^|/)\.[^/]*$'
  [[ ${cur##*/} != .* ]] || hidden='^$'
  extglob=$(shopt -p extglob)
  shopt -s extglob
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <({
    compgen -d -- "$cur"
    [[ -z $pattern ]] || compgen -f -X "!$pattern" -- "$cur"
  } | grep -Ev "$hidden")
  eval "$extglob"
}

_kestrel_complete() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=""
  ((COMP_CWORD < 1)) || prev=${COMP_WORDS[COMP_CWORD - 1]}
  # --port=COM3 comes as three words: "--port" "=" "COM3".
  if [[ $cur == = ]]; then
    cur=""
  elif [[ $prev == = ]] && ((COMP_CWORD >= 2)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  local program=${COMP_WORDS[0]/#\~/$HOME} options
  options=$(_kestrel_options "$program")
  COMPREPLY=()

  if [[ $prev == -* ]] && grep -qxF -- "$prev 1" <<<"$options"; then
    case $prev in
      -p | --port) _kestrel_ports "$program" "$cur" yes ;;
      --hold) _kestrel_ports "$program" "$cur" no ;;
      -b | --baud) _kestrel_words '4800 9600 19200 38400 57600 115200' "$cur" ;;
      --align) _kestrel_words 'left center right top middle bottom' "$cur" ;;
      --link-port | --settings-folder) _kestrel_files "$cur" "" ;;
      --log | --save | --link) _kestrel_files "$cur" ;;
      --preview) _kestrel_files "$cur" '*.@(png|PNG|jpg|JPG|jpeg|JPEG|bmp|BMP)' ;;
    esac
    return 0  # other values (numbers, colours) have nothing to offer
  fi
  if [[ $cur == -* ]]; then
    _kestrel_words "$(cut -d' ' -f1 <<<"$options")" "$cur"
    return 0
  fi
  case ${program##*/} in
    kestrel-sim) ;;
    *) _kestrel_files "$cur" \
      '*.@(bmp|BMP|dib|DIB|png|PNG|jpg|JPG|jpeg|JPEG|gif|GIF|pbm|PBM|pgm|PGM|ppm|PPM)' ;;
  esac
  return 0
}

complete -F _kestrel_complete kestrel-load kestrel-logo-convert kestrel-sim
