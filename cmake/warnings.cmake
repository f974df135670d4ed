# The project's warning set, applied to every target of our own through qxcm_warnings().
add_library(qxcm_warnings INTERFACE)
target_compile_options(qxcm_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wformat=2 -Werror)
