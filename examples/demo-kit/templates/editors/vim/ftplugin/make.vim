" Makefiles need real tabs.
setlocal noexpandtab shiftwidth=8 softtabstop=0 tabstop=8
setlocal list listchars=tab:\|\ ,trail:.
