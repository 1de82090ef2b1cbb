# bash completion for corvelle-cli: options, the values of --use, --format and --crc-first,
# and paths.
_corvelle_cli()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
    --use)
        # A comma-separated list: complete the word after the last comma.
        local done="${cur%,*}" word="${cur##*,}" prefix=
        [[ $cur == *,* ]] && prefix="$done,"
        local IFS=$'\n'
        COMPREPLY=($(compgen -P "$prefix" -W $'name\nextension\nsize\ncrc' -- "$word"))
        compopt -o nospace 2>/dev/null
        return ;;
    --format)
        COMPREPLY=($(compgen -W 'text tsv csv json' -- "$cur"))
        return ;;
    --crc-first)
        COMPREPLY=($(compgen -W '1K 2K 4K 8K 16K 32K 64K 128K 256K 512K 1M 2M 4M 8M 16M' -- "$cur"))
        return ;;
    --match|--filter|--min-size|--max-size)
        return ;;
    --work-dir)
        COMPREPLY=($(compgen -d -- "$cur"))
        return ;;
    --catalogue|--cache)
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        options=$(corvelle-cli --help 2>/dev/null | grep -o -E -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _corvelle_cli corvelle-cli
