# Makes the man page of one program from its --help and --version with help2man, compressed
# with gzip -9n (no file name or time stamp in the archive). Run by the build
# (cmake/ManPages.cmake):
#
#   cmake -DHELP2MAN=... -DPROGRAM=... -DNAME="one-line description" -DOUTPUT=x.1.gz
#         [-DCOMMANDS=ON] [-DSEE_ALSO="a b"] -P RunHelp2man.cmake
#
# COMMANDS=ON: the program has commands (tamrix-cli); each command's own --help becomes a part of
# the page, the list taken from the program's --help so a new command shows up by itself.
foreach(var HELP2MAN PROGRAM NAME OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunHelp2man.cmake: ${var} is not set")
  endif()
endforeach()
get_filename_component(program_name "${PROGRAM}" NAME_WE)
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
set(include_file "${page}.h2m")

# roff text of a help screen, shown as it is printed.
function(as_roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

set(extra "")
if(COMMANDS)
  execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
  endif()
  # CLI11 lists the commands under "Subcommands:" ("SUBCOMMANDS:" in some versions), two spaces
  # in, up to the next empty line.
  string(REGEX MATCH "\n[A-Za-z]*(COMMANDS|ommands):\n(  [^\n]*\n)+" block "${help}")
  string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" names "${block}")
  # The last paragraph of the program's help (the exit statuses) ends every command's help as
  # well: the page says it once.
  string(STRIP "${help}" help)
  string(REGEX MATCH "[^\n]+$" footer "${help}")
  if(names)
    string(APPEND extra "[COMMANDS IN DETAIL]\n")
    foreach(name IN LISTS names)
      string(STRIP "${name}" name)
      execute_process(COMMAND "${PROGRAM}" ${name} --help OUTPUT_VARIABLE command_help
                      RESULT_VARIABLE rc)
      if(rc EQUAL 0)
        # "Usage: /where/it/was/built/tamrix-cli ..." shows as "Usage: tamrix-cli ...".
        string(REPLACE "${PROGRAM} " "${program_name} " command_help "${command_help}")
        if(footer)
          string(REPLACE "\n${footer}" "" command_help "${command_help}")
        endif()
        string(STRIP "${command_help}" command_help)
        as_roff("${command_help}" roff)
        string(APPEND extra ".SS \"${program_name} ${name}\"\n${roff}")
      endif()
    endforeach()
  endif()
endif()
if(SEE_ALSO)
  separate_arguments(SEE_ALSO UNIX_COMMAND "${SEE_ALSO}")
  string(APPEND extra "[SEE ALSO]\n")
  set(first TRUE)
  foreach(other IN LISTS SEE_ALSO)
    if(NOT first)
      string(APPEND extra ",\n")
    endif()
    string(REPLACE "-" "\\-" other_roff "${other}")
    string(APPEND extra ".BR ${other_roff} (1)")
    set(first FALSE)
  endforeach()
  string(APPEND extra "\n")
endif()
file(WRITE "${include_file}" "${extra}")

execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1 "--name=${NAME}"
          "--include=${include_file}" "--output=${page}" "${PROGRAM}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${page}")
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
