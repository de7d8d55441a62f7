# JUCE 7 modules from Debian's juce-modules-source, compiled once into one
# static library that the programs, the tests and the benchmarks share. The
# Windows program's cross build (scripts/build-windows.sh) compiles the same
# modules with the settings and libraries of Windows below.
set(JUCE_MODULES_DIR "/usr/share/juce/modules" CACHE PATH "JUCE module folder")
if(NOT EXISTS "${JUCE_MODULES_DIR}/juce_core/juce_core.h")
  message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR}; run scripts/setup.sh")
endif()

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
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_REPORT_APP_USAGE=0
  JUCE_DONT_DECLARE_PROJECTINFO=1)
target_compile_options(juce_static PRIVATE -w)

if(WIN32)
  # Debian has no mingw builds of libpng and libjpeg: build-windows.sh builds
  # static ones from Debian's sources into this prefix first.
  set(KSQX_WIN_DEPS "" CACHE PATH "Prefix of the static mingw builds of libpng and libjpeg")
  if(NOT EXISTS "${KSQX_WIN_DEPS}/include/png.h" OR NOT EXISTS "${KSQX_WIN_DEPS}/include/jpeglib.h")
    message(FATAL_ERROR "static libpng/libjpeg not found in '${KSQX_WIN_DEPS}'; run scripts/build-windows.sh")
  endif()
  target_include_directories(juce_static SYSTEM PUBLIC "${KSQX_WIN_DEPS}/include")
  # Windows 7 is the oldest system the program supports; Direct2D drawing is
  # off (mingw's headers lack parts of it), so JUCE draws with its own
  # renderer.
  target_compile_definitions(juce_static PUBLIC
    _WIN32_WINNT=0x0601 WINVER=0x0601
    JUCE_DIRECT2D=0
    JUCE_WASAPI=0
    JUCE_DIRECTSOUND=0
    JUCE_ASIO=0
    JUCE_USE_WINRT_MIDI=0)
  # JUCE's big translation units exceed COFF's default section count.
  target_compile_options(juce_static PUBLIC -Wa,-mbig-obj)
  target_link_libraries(juce_static PUBLIC
    "${KSQX_WIN_DEPS}/lib/libpng16.a" "${KSQX_WIN_DEPS}/lib/libjpeg.a" z
    winmm ole32 oleaut32 imm32 comdlg32 uuid version shlwapi ws2_32 wininet
    shell32 gdi32 user32 comctl32 dxgi d2d1 dwrite setupapi rpcrt4 winspool
    advapi32 kernel32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JUCE_SYSLIBS REQUIRED IMPORTED_TARGET alsa freetype2 libpng libjpeg zlib)
  find_package(Threads REQUIRED)
  target_compile_definitions(juce_static PUBLIC
    JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
    JUCE_ALSA=1
    JUCE_JACK=0
    JUCE_USE_XSHM=1)
  target_link_libraries(juce_static PUBLIC PkgConfig::JUCE_SYSLIBS Threads::Threads ${CMAKE_DL_LIBS} rt)
endif()
