# `cmake --install <build> --prefix <P>` for C++ programs:
#   <P>/include/liborvek/     the driver, the value types, the errors and the result type
#   <P>/lib/liborvek.a, <P>/lib/liborvek_behavior.a
#   <P>/lib/cmake/liborvek/   find_package(liborvek CONFIG) -> the target liborvek::liborvek
#   <P>/lib/pkgconfig/liborvek.pc
#   <P>/share/doc/liborvek/   LICENSE, and the licences of simdjson (the libraries call it) and
#                             fmt (compiled in from its headers) under licenses/
# (orvek-sim goes to <P>/bin by its own rule in sim/.)
# The installed headers include each other by relative paths, so they need no include
# folder but <P>/include; none of them reaches simdjson, the wire records or the transport.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# include/liborvek/ is exactly the installed C++ interface, installed whole.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/liborvek DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# A name of its own in a shared lib folder.
set_target_properties(robot_behavior PROPERTIES OUTPUT_NAME orvek_behavior)

# The one target a user links: the include folder, C++23 and the libraries beneath.
# (`liborvek` is the Python module's target name, hence another name inside the build.)
add_library(orvek_cpp_package INTERFACE)
set_target_properties(orvek_cpp_package PROPERTIES EXPORT_NAME liborvek)
target_include_directories(orvek_cpp_package INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(orvek_cpp_package INTERFACE cxx_std_23)
target_link_libraries(orvek_cpp_package INTERFACE orvek)

set(ORVEK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/liborvek)
install(TARGETS orvek robot_behavior orvek_cpp_package EXPORT liborvekTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT liborvekTargets NAMESPACE liborvek:: DESTINATION ${ORVEK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/liborvekConfig.cmake.in
  ${PROJECT_BINARY_DIR}/liborvekConfig.cmake INSTALL_DESTINATION ${ORVEK_CMAKE_DIR})
# 0.x: a minor release may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/liborvekConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/liborvekConfig.cmake ${PROJECT_BINARY_DIR}/liborvekConfigVersion.cmake
  DESTINATION ${ORVEK_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so the installed tree can be moved.
file(RELATIVE_PATH ORVEK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/liborvek.pc.in ${PROJECT_BINARY_DIR}/liborvek.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/liborvek.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The licence, and those of the code the libraries carry or call.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/licenses/simdjson.txt ${PROJECT_SOURCE_DIR}/licenses/fmt.txt
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/licenses)
