# Reproducible Windows builds: the same sources, product folder and identity variables give the
# same executables, byte for byte, in any build folder, so that a release (before signing) can be
# rebuilt and compared with what was shipped.
#
# - The linker leaves the time of the link out (--no-insert-timestamp): the PE header's and the
#   export directory's time stamps are 0.
# - The compiler writes the source root as "." and the build folder as "build" wherever it would
#   write their absolute paths: in the debug information (the win64 build keeps it, to debug under
#   Wine; its file names now read the same in every build folder) and in __FILE__. The build
#   folder usually lies inside the source root and the last matching map wins, so it comes last.
# - The build date comes from VNX_BUILD_DATE, else from SOURCE_DATE_EPOCH (top CMakeLists.txt).
# - The payload is the same for any number of packing jobs; it carries the file times of the
#   product folder, which are inputs like the files' contents.
if(VNX_WINDOWS)
    add_link_options(LINKER:--no-insert-timestamp)
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>")
endif()
