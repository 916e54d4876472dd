# bash completion for quennelbrook

_quennelbrook()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
        -g)
            mapfile -t COMPREPLY < <(compgen -W 'carousel seo sitemap feed' -- "$cur")
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

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '-h -a -c -d -e -f -g -i -m -n -s -t -u -v -w -z --help --version' -- "$cur")
        return
    fi

    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _quennelbrook quennelbrook
