# DPI scale and the fonts of each DPI, shared by every window of the program.
add_library(qf_dpi STATIC dpi.cpp dpi.h)
