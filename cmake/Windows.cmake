# The Windows DLL: entry point, no "lib" prefix, runtimes linked statically.
target_sources(xemidi PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/dll_main.cpp)
target_include_directories(xemidi PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(xemidi PROPERTIES PREFIX "" RUNTIME_OUTPUT_NAME xemidi)
target_link_options(xemidi PRIVATE -static-libgcc -static-libstdc++ -static)
