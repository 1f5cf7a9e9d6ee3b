# Keep messages in the desktop language, but sort and format numbers the same
# way everywhere so that scripts give the same results on every workstation.
: "${LANG:=en_US.UTF-8}"
LC_COLLATE=C.UTF-8
LC_NUMERIC=C.UTF-8
export LANG LC_COLLATE LC_NUMERIC
