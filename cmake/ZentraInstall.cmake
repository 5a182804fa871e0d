# cmake --install: headers under include/zentra, the libraries, the self-check with resources/
# beside it, and a CMake package so an application can find_package(zentra CONFIG REQUIRED).
include(CMakePackageConfigHelpers)

set(zentra_libraries zentra_core zentra_common zentra_indicator zentra_link zentra_tray)
if(WIN32)
  list(APPEND zentra_libraries zentra_host zentra_app)
else()
  list(APPEND zentra_libraries zentra_win32_standin)
endif()
install(TARGETS ${zentra_libraries} EXPORT zentraTargets
        ARCHIVE DESTINATION lib
        LIBRARY DESTINATION lib
        INCLUDES DESTINATION include)
install(EXPORT zentraTargets NAMESPACE zentra:: DESTINATION lib/cmake/zentra)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zentraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zentraConfig.cmake INSTALL_DESTINATION lib/cmake/zentra)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zentraConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zentraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/zentraConfigVersion.cmake
        DESTINATION lib/cmake/zentra)
if(WIN32)
  # For a tray application: the helpers that embed the icons and the manifest, the icons, and the
  # toolchain file this package was built with (share/zentra/mingw-w64.cmake).
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/zentraTrayApp.cmake
                ${CMAKE_CURRENT_LIST_DIR}/zentra-app.manifest.in
          DESTINATION lib/cmake/zentra)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/tray_armed.ico
                ${PROJECT_SOURCE_DIR}/resources/tray_triggered.ico
                ${PROJECT_SOURCE_DIR}/resources/tray_error.ico
                ${PROJECT_SOURCE_DIR}/resources/tray_armed_light.ico
                ${PROJECT_SOURCE_DIR}/resources/tray_triggered_light.ico
                ${PROJECT_SOURCE_DIR}/resources/tray_error_light.ico
          DESTINATION share/zentra/icons)
  if(CMAKE_TOOLCHAIN_FILE)
    install(FILES ${CMAKE_TOOLCHAIN_FILE} DESTINATION share/zentra RENAME mingw-w64.cmake)
  endif()
endif()
