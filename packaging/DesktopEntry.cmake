# Runs at install time: writes the desktop entry with the program's final path (the prefix is
# known only now: `cmake --install --prefix`, or the package's folder when CPack installs) and
# installs it. Expects ORVANTA_DESKTOP_IN, ORVANTA_DESKTOP_OUT and ORVANTA_PROGRAM_NAME.
set(program "${CMAKE_INSTALL_PREFIX}/${ORVANTA_PROGRAM_NAME}")
# Exec takes a quoted argument: inside quotes \ " ` $ are escaped with a backslash, and the
# entry's own string escaping doubles every backslash again; % is doubled for field codes.
string(REPLACE "\\" "\\\\\\\\" quoted "${program}")
foreach(special "\"" "`" "$")
    string(REPLACE "${special}" "\\\\${special}" quoted "${quoted}")
endforeach()
string(REPLACE "%" "%%" quoted "${quoted}")
set(ORVANTA_DESKTOP_EXEC "\"${quoted}\"")
# TryExec is a plain string: only its backslashes are escaped.
string(REPLACE "\\" "\\\\" ORVANTA_DESKTOP_TRYEXEC "${program}")
configure_file("${ORVANTA_DESKTOP_IN}" "${ORVANTA_DESKTOP_OUT}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${ORVANTA_DESKTOP_OUT}")
