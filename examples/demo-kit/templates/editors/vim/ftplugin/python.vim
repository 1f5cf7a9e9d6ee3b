setlocal expandtab shiftwidth=4 softtabstop=4
setlocal textwidth=88 colorcolumn=89
setlocal foldmethod=indent foldlevel=99
compiler pyunit
