# Cross-compiles the Windows flavour (64-bit) with Debian's mingw-w64, posix-threads
# variant (std::thread and std::mutex work without extra headers). Used by `make windows`:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(ORVODIAL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
