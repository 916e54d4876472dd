# bash completion for quennelbrook

_quennelbrook()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
        -g)
            mapfile -t COMPREPLY < <(compgen -W 'carousel seo sitemap feed website einstellung' -- "$cur")
            return
            ;;
        -n)
            mapfile -t COMPREPLY < <(compgen -W '1 2 3 4 5 6 7 8 9' -- "$cur")
            return
            ;;
        -c)
            # Carousel include files by name, without assets/include/ and .php.
            local f names=()
            for f in assets/include/*.php; do
                [ -e "$f" ] || continue
                f=${f#assets/include/}
                names+=("${f%.php}")
            done
            mapfile -t COMPREPLY < <(compgen -W "${names[*]}" -- "$cur")
            return
            ;;
        -t|-u|-a|-d)
            # Free text: nothing sensible to offer.
            COMPREPLY=()
            return
            ;;
        -m|-s|-f|-i|-w|-z)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac

    # After -g feed: the base URL and the feed's title are free text, only
    # the news page is a file; after -g sitemap the URL, then a directory.
    local i mode='' pos=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -g) mode=${COMP_WORDS[i + 1]}; ((i++)) ;;
            -[acdfimnstuwz]) ((i++)) ;;
            -*) ;;
            *) ((pos++)) ;;
        esac
    done
    if [[ ($mode == feed && $pos != 1) || ($mode == sitemap && $pos == 0) ]] && [[ $cur != -* ]]; then
        COMPREPLY=()
        return
    fi
    if [[ $mode == sitemap && $cur != -* ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
    fi

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '-h -a -c -d -e -f -g -i -m -n -s -t -u -v -w -z --help --version' -- "$cur")
        return
    fi

    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _quennelbrook quennelbrook
