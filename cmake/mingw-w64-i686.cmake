# Cross-compiles the Windows flavour (32-bit) with Debian's mingw-w64, posix-threads
# variant. The 32-bit build is where TAPI's structures have their original sizes (for
# example LINEINITIALIZEEXPARAMS is 24 bytes), so the tests run on it as well.
set(ORVODIAL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
