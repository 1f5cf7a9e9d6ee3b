# The hardening Debian expects of the programs it ships (and lintian checks):
# position-independent executables, a stack protector, read-only relocations
# bound at start (relro, bindnow) and the fortified C library functions.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong)
add_link_options(-Wl,-z,relro -Wl,-z,now)

# Fortification needs optimisation (glibc warns without it) and gets in the
# way of the sanitizers' own checks of the same calls. -U first, so that a
# value from the builder's own flags (dpkg-buildflags) is replaced, not
# redefined. The top-level list applies it to the code that is shipped, not
# to the tests and benchmarks (vxk5_fortify_shipped_code / vxk5_end_fortify).
set(VXK5_FORTIFY_OPTIONS "")
if(NOT VXK5_ASAN AND NOT VXK5_TSAN AND NOT VXK5_FUZZ)
  set(VXK5_FORTIFY_OPTIONS $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()

# For the directories added after it, until vxk5_end_fortify.
macro(vxk5_fortify_shipped_code)
  add_compile_options(${VXK5_FORTIFY_OPTIONS})
endmacro()

macro(vxk5_end_fortify)
  get_property(vxk5_options DIRECTORY PROPERTY COMPILE_OPTIONS)
  list(REMOVE_ITEM vxk5_options ${VXK5_FORTIFY_OPTIONS})
  set_property(DIRECTORY PROPERTY COMPILE_OPTIONS ${vxk5_options})
endmacro()
