# The peer of the XML reader benchmark: libxml2's xmlTextReader.
target_link_libraries(bench_xmlreader PRIVATE xml2)
target_include_directories(bench_xmlreader PRIVATE /usr/include/libxml2)
