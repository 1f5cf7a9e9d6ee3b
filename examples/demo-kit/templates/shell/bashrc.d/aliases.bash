# Everyday aliases.
alias ls='ls --color=auto --group-directories-first'
alias ll='ls -lh'
alias la='ls -lhA'
alias grep='grep --color=auto'
alias df='df -h -x tmpfs -x devtmpfs'
alias du1='du -h --max-depth=1 | sort -h'
alias rm='rm -I'
alias ..='cd ..'
alias ...='cd ../..'
mkcd() { mkdir -p -- "$1" && cd -- "$1"; }
