# bash completion for tesmira-compare: its options, the values of --dpi, PDFs and folders.
# Installed in share/bash-completion/completions/, where bash-completion loads it on demand.

_tesmira_compare() {
    local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
    local options="--output --json --quiet --progress --no-progress --dpi --tolerance --opacity --border
        --tiny-markers --noise --no-stamp --help --version"
    COMPREPLY=()
    case $previous in
        --output)
            compopt -o filenames 2> /dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$current")
            return
            ;;
        --dpi)
            mapfile -t COMPREPLY < <(compgen -W "144 200 300" -- "$current")
            return
            ;;
        --tolerance | --opacity | --border)
            return
            ;;
    esac
    if [[ $current == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options -q -h" -- "$current")
        return
    fi
    # OLD and NEW: PDFs in any letter case, and folders.
    compopt -o filenames 2> /dev/null
    mapfile -t COMPREPLY < <(
        compgen -d -- "$current"
        shopt -s nocaseglob
        compgen -f -X '!*.[pP][dD][fF]' -- "$current"
    )
}
complete -F _tesmira_compare tesmira-compare
