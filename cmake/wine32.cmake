# Whether this machine runs 32-bit programs, asked once when a Windows build tree is
# configured: the 32-bit Wine loader must start and print its version. On some machines the
# kernel's 32-bit emulation is switched off; there every 32-bit Linux program, that loader
# included, fails with "Exec format error" although wine32:i386 installs normally.
#
# korvanta_probe_32bit(LOADER REASON_VAR) sets REASON_VAR to "" when LOADER runs, else to
# why 32-bit programs cannot run here.
function(korvanta_probe_32bit loader reason_var)
  set(reason "")
  if(NOT EXISTS "${loader}")
    set(reason "there is no 32-bit Wine loader at ${loader}")
  else()
    # A refused program gives the spawn's error text as the result; a shell that tried it
    # gives 126 and says so on standard error.
    execute_process(COMMAND "${loader}" --version RESULT_VARIABLE rc OUTPUT_QUIET
                    ERROR_VARIABLE err TIMEOUT 120)
    if(NOT rc STREQUAL "0")
      if("${rc} ${err}" MATCHES "Exec format error")
        set(reason "the kernel's 32-bit emulation is off")
      else()
        string(REGEX REPLACE "\n.*" "" err "${err}")
        set(reason "${loader} --version failed: ${rc} ${err}")
        string(STRIP "${reason}" reason)
      endif()
    endif()
  endif()
  set(${reason_var} "${reason}" PARENT_SCOPE)
endfunction()
