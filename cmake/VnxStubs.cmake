# The two programs as stubs: Setup.exe and Uninstall.exe with everything but a product. No
# payload (TESTDATA 105/106), no installation list (INSTALLLIST 1/2), no version resource and the
# string table's product version, build and build date empty; `vnxpack installer` writes those
# into copies of them for one product (README: An installer for your own product). They are
# release executables like the programs the product build links (cmake/VnxRelease.cmake:
# imports checked, symbols in <file>.debug beside them), never signed: the maker signs what it
# makes. They go to dist/<arch>/stub/ with their symbol files.
#
#   vnx_stubs()   after app/ and uninstall/ (it links their libraries)
#
# Smaller stubs, with every export and every test as it was: the links drop the functions and
# data nothing reaches (--gc-sections; -flto would drop what the export check compares). In the
# 32-bit build the code of the stubs (their libraries too, which the Windows tests link as well)
# is also compiled without exception tables: nothing in it throws or catches, and running out of
# memory ends the program either way. The 64-bit build keeps them: x64 Windows walks the stack
# through them for every structured exception.

# Every library target `target` links, directly or through other libraries, into `var`.
function(_vnx_linked_libraries target var)
    set(found ${${var}})
    get_target_property(direct ${target} LINK_LIBRARIES)
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    foreach(library IN LISTS direct interface)
        if(TARGET ${library} AND NOT library IN_LIST found)
            list(APPEND found ${library})
            _vnx_linked_libraries(${library} found)
        endif()
    endforeach()
    set(${var} ${found} PARENT_SCOPE)
endfunction()

function(_vnx_stub_code_options)
    set(code SetupStub UninstallStub)
    _vnx_linked_libraries(SetupStub code)
    _vnx_linked_libraries(UninstallStub code)
    foreach(target ${code})
        get_target_property(type ${target} TYPE)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            set_property(TARGET ${target} APPEND PROPERTY COMPILE_OPTIONS
                "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>"
                "$<$<COMPILE_LANGUAGE:C,CXX>:-fno-asynchronous-unwind-tables>")
        endif()
    endforeach()
endfunction()

function(vnx_stubs)
    set(dir ${CMAKE_BINARY_DIR}/stub)
    set(include ${dir}/include)
    # The string table with the product identity left out.
    set(VNX_PRODUCT_VERSION "")
    set(VNX_PRODUCT_BUILD "")
    set(VNX_BUILD_DATE "")
    configure_file(${CMAKE_SOURCE_DIR}/resources/strings.rc.in ${include}/strings.rc @ONLY)
    set(resources ${CMAKE_SOURCE_DIR}/resources)
    file(GLOB artwork ${resources}/*.bmp)

    set(setup_rc ${resources}/installer.rc)
    add_executable(SetupStub WIN32 ${CMAKE_SOURCE_DIR}/app/winmain.cpp ${setup_rc})
    target_link_libraries(SetupStub PRIVATE vnx_installer_core)
    vnx_regaddin_exports(SetupStub)
    set(uninstall_rc ${CMAKE_SOURCE_DIR}/uninstall/uninstall.rc)
    add_executable(UninstallStub WIN32 ${CMAKE_SOURCE_DIR}/uninstall/main.cpp ${uninstall_rc})
    target_link_libraries(UninstallStub PRIVATE vnx_uninstall_core vnx_resources)
    set_property(SOURCE ${setup_rc} ${uninstall_rc} APPEND PROPERTY OBJECT_DEPENDS
        ${include}/strings.rc ${resources}/installer.manifest ${resources}/resource_ids.h
        ${resources}/dialogs.rc ${artwork} ${CMAKE_SOURCE_DIR}/uninstall/uninstall.manifest)
    set(dist ${VNX_DIST_DIR}/${VNX_DIST_ARCH}/stub)
    foreach(target SetupStub UninstallStub)
        string(REPLACE "Stub" "" name ${target})
        set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name}
                              RUNTIME_OUTPUT_DIRECTORY ${dir})
        target_compile_definitions(${target} PRIVATE VNX_STUB)
        target_link_options(${target} PRIVATE LINKER:--gc-sections)
        target_include_directories(${target} PRIVATE ${include} ${resources}
                                   ${CMAKE_SOURCE_DIR}/uninstall)
        vnx_release_executable(${target})
        set_property(GLOBAL APPEND PROPERTY VNX_STUB_TARGETS ${target})
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
            COMMAND ${CMAKE_COMMAND} -E copy ${dir}/${name}.exe ${dir}/${name}.exe.debug ${dist}
            VERBATIM)
    endforeach()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        _vnx_stub_code_options()
    endif()
    add_custom_target(vnx_stubs ALL DEPENDS SetupStub UninstallStub)
endfunction()
