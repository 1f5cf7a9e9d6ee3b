# Editor for git commits, crontab and friends.
if command -v vim >/dev/null 2>&1; then
    EDITOR=vim
else
    EDITOR=nano
fi
VISUAL=$EDITOR
PAGER=less
LESS='-R -F -X -i'
export EDITOR VISUAL PAGER LESS
