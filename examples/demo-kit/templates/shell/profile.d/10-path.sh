# Personal programs first, then the office tools.
for dir in "$HOME/.local/bin" "$HOME/bin" /opt/office-tools/bin; do
    case ":$PATH:" in
        *":$dir:"*) ;;
        *) [ -d "$dir" ] && PATH="$dir:$PATH" ;;
    esac
done
export PATH
