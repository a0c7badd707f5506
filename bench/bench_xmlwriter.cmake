# The writer benchmark runs against libxml2's text writer.
target_link_libraries(bench_xmlwriter PRIVATE xml2)
target_include_directories(bench_xmlwriter PRIVATE /usr/include/libxml2)
