# Tools for the Windows presets.
set(_wine_idl /usr/include/wine/wine/windows)
if(VENTO_MINGW_ARCH STREQUAL "i686")
  # Without wine32 there is no i386 Wine folder; its stdole2.tlb is the same as the 64-bit one.
  set(VENTO_WIDL_FLAGS --win32 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(VENTO_WIDL_FLAGS --win64 -I${_wine_idl} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()
