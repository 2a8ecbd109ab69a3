# Run by CPack on the staged files, after CPACK_STRIP_FILES: takes out of the
# programs the sections that stripping keeps and nothing reads (the compiler's
# .comment, a bare .note), as Debian's own packaging tools do.
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*)
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_STRIP} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
