# Two-line prompt: user@host and directory, git branch when there is one.
__prompt_branch() {
    local branch
    branch=$(git symbolic-ref --short HEAD 2>/dev/null) || return
    printf ' (%s)' "$branch"
}
PS1='\[\e[1;32m\]\u@\h\[\e[0m\] \[\e[1;34m\]\w\[\e[0;33m\]$(__prompt_branch)\[\e[0m\]\n\$ '
PROMPT_DIRTRIM=3
