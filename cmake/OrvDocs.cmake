# The API reference: the "docs" target runs Doxygen over the public headers and the guide in
# docs/ and writes HTML under <build>/docs/html. Undocumented public API fails it.
find_program(ORV_DOXYGEN doxygen)
find_program(ORV_DOT dot)
set(ORV_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)

if(ORV_DOXYGEN AND ORV_DOT)
    get_filename_component(ORV_DOT_DIR ${ORV_DOT} DIRECTORY)
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${ORV_DOCS_DIR}/Doxyfile @ONLY)
    # Start from an empty directory, so that pages of removed classes do not linger.
    add_custom_target(docs
        COMMAND ${CMAKE_COMMAND} -E remove_directory ${ORV_DOCS_DIR}/html
        COMMAND ${ORV_DOXYGEN} ${ORV_DOCS_DIR}/Doxyfile
        COMMAND ${CMAKE_COMMAND} -E echo "API reference: ${ORV_DOCS_DIR}/html/index.html"
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        VERBATIM)
else()
    add_custom_target(docs
        COMMAND ${CMAKE_COMMAND} -E echo "docs: needs doxygen and graphviz (make docs installs them)"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
