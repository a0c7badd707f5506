# The parameter list formatter is also called from C, as generated C code calls it.
target_sources(test_cgi_response_modes PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/test_cgi_format_list.c)
