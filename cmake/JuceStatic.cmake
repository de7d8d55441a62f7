# JUCE 7 modules from Debian's juce-modules-source, compiled once into one
# static library that the programs, the tests and the benchmarks share.
set(JUCE_MODULES_DIR "/usr/share/juce/modules" CACHE PATH "JUCE module folder")
if(NOT EXISTS "${JUCE_MODULES_DIR}/juce_core/juce_core.h")
  message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR}; run scripts/setup.sh")
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(JUCE_SYSLIBS REQUIRED IMPORTED_TARGET alsa freetype2 libpng libjpeg zlib)
find_package(Threads REQUIRED)

set(KSQX_JUCE_MODULES
  juce_core juce_events juce_data_structures juce_graphics juce_gui_basics
  juce_audio_basics juce_audio_devices)

set(_juce_sources)
set(_juce_module_defs)
foreach(m IN LISTS KSQX_JUCE_MODULES)
  list(APPEND _juce_sources "${JUCE_MODULES_DIR}/${m}/${m}.cpp")
  list(APPEND _juce_module_defs "JUCE_MODULE_AVAILABLE_${m}=1")
endforeach()

add_library(juce_static STATIC ${_juce_sources})
target_include_directories(juce_static SYSTEM PUBLIC "${JUCE_MODULES_DIR}" PUBLIC "${CMAKE_SOURCE_DIR}/cmake/include")
target_compile_definitions(juce_static PUBLIC
  ${_juce_module_defs}
  JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
  JUCE_STANDALONE_APPLICATION=1
  JUCE_MODAL_LOOPS_PERMITTED=1
  JUCE_WEB_BROWSER=0
  JUCE_USE_CURL=0
  JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_REPORT_APP_USAGE=0
  JUCE_ALSA=1
  JUCE_JACK=0
  JUCE_USE_XSHM=1
  JUCE_DONT_DECLARE_PROJECTINFO=1)
target_compile_options(juce_static PRIVATE -w)
target_link_libraries(juce_static PUBLIC PkgConfig::JUCE_SYSLIBS Threads::Threads ${CMAKE_DL_LIBS} rt)
