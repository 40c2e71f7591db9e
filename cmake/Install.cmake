# What `cmake --install` puts where, in the standard directories (a prefix such as $HOME/.local needs no
# root): the tool, its manual page, its bash completion, the README with the example tables, and the
# cluster workflow when the source tree has one.
include(GNUInstallDirs)

install(TARGETS vennrick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page and the bash completion are made at build time by make_docs from the table of switches
# (the page's hand-written sections are docs/vennrick.1.in). The built page names the files of the
# configured prefix; the installed one those of the prefix it is installed to (cpack installs to /usr).
add_executable(make_docs docs/make_docs.cpp)
target_link_libraries(make_docs PRIVATE vennrick_core)
string(TIMESTAMP VENNRICK_MAN_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH, when set, makes it reproducible
set(VENNRICK_MAN_DOCDIR ${CMAKE_INSTALL_FULL_DOCDIR})
set(VENNRICK_MAN_OPTIONS "@VENNRICK_MAN_OPTIONS@")  # left for make_docs
configure_file(${PROJECT_SOURCE_DIR}/docs/vennrick.1.in ${PROJECT_BINARY_DIR}/vennrick.1.in @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/vennrick.1
                   COMMAND make_docs man ${PROJECT_BINARY_DIR}/vennrick.1.in ${PROJECT_BINARY_DIR}/vennrick.1
                   DEPENDS make_docs ${PROJECT_BINARY_DIR}/vennrick.1.in)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/vennrick.bash-completion
                   COMMAND make_docs completion ${PROJECT_BINARY_DIR}/vennrick.bash-completion
                   DEPENDS make_docs)
add_custom_target(vennrick_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/vennrick.1 ${PROJECT_BINARY_DIR}/vennrick.bash-completion)
install(CODE "
  file(READ [[${PROJECT_BINARY_DIR}/vennrick.1]] page)
  string(REPLACE [[${CMAKE_INSTALL_FULL_DOCDIR}]] \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\" page \"\${page}\")
  file(WRITE [[${PROJECT_BINARY_DIR}/installed/vennrick.1]] \"\${page}\")")
install(FILES ${PROJECT_BINARY_DIR}/installed/vennrick.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# bash-completion loads a command's completion on first use from this folder, by the command's name.
install(FILES ${PROJECT_BINARY_DIR}/vennrick.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vennrick)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The example tables and figures, without what a run of the example leaves beside them (TABLE.out, its images).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN "*.out" EXCLUDE PATTERN "*.out.*" EXCLUDE)

# The workflow that runs a batch of tables on a cluster, when the tree has one; the glob is checked again
# on every build, so a workflow/ folder that appears later is installed without a fresh configure.
file(GLOB vennrick_workflow CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/workflow/*)
if(vennrick_workflow)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/workflow/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vennrick/workflow
          USE_SOURCE_PERMISSIONS
          PATTERN ".snakemake" EXCLUDE PATTERN "__pycache__" EXCLUDE)
endif()
