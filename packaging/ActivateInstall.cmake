# Runs at the end of `cmake --install`: enables the agent's systemd user
# service and makes udev apply the new rules to devices already attached.
# Skipped for a DESTDIR staging install (a package's own scripts do this at
# its installation); a missing tool or a failing command only says so.

if(NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staging install into $ENV{DESTDIR}: not enabling nuvexa-agent.service or reloading udev")
  return()
endif()

execute_process(COMMAND id -u OUTPUT_VARIABLE nuvexa_uid OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)

find_program(NUVEXA_SYSTEMCTL systemctl)
if(NUVEXA_SYSTEMCTL)
  if(nuvexa_uid STREQUAL "0")
    # For every user, at their next login (works without a running manager).
    execute_process(COMMAND ${NUVEXA_SYSTEMCTL} --global enable nuvexa-agent.service
                    RESULT_VARIABLE nuvexa_result OUTPUT_QUIET ERROR_VARIABLE nuvexa_error)
    if(nuvexa_result EQUAL 0)
      message(STATUS "Enabled nuvexa-agent.service for every user; to start it in a running session: "
                     "systemctl --user daemon-reload && systemctl --user start nuvexa-agent.service")
    else()
      message(STATUS "Could not enable nuvexa-agent.service: ${nuvexa_error}")
    endif()
  else()
    execute_process(COMMAND ${NUVEXA_SYSTEMCTL} --user daemon-reload RESULT_VARIABLE nuvexa_result
                    OUTPUT_QUIET ERROR_QUIET)
    if(nuvexa_result EQUAL 0)
      execute_process(COMMAND ${NUVEXA_SYSTEMCTL} --user enable nuvexa-agent.service
                      RESULT_VARIABLE nuvexa_result OUTPUT_QUIET ERROR_VARIABLE nuvexa_error)
    endif()
    if(nuvexa_result EQUAL 0)
      message(STATUS "Enabled nuvexa-agent.service for this user")
    else()
      message(STATUS "Could not enable nuvexa-agent.service for this user (no user manager running?)")
    endif()
  endif()
else()
  message(STATUS "No systemctl: enable nuvexa-agent.service by hand")
endif()

find_program(NUVEXA_UDEVADM udevadm PATHS /usr/sbin /sbin /usr/bin /bin)
if(NUVEXA_UDEVADM AND nuvexa_uid STREQUAL "0")
  execute_process(COMMAND ${NUVEXA_UDEVADM} control --reload RESULT_VARIABLE nuvexa_result
                  OUTPUT_QUIET ERROR_QUIET)
  if(nuvexa_result EQUAL 0)
    execute_process(COMMAND ${NUVEXA_UDEVADM} trigger --subsystem-match=hidraw --subsystem-match=misc
                    OUTPUT_QUIET ERROR_QUIET)
    message(STATUS "Reloaded the udev rules")
  else()
    message(STATUS "Could not reload the udev rules (udevd not running?); they apply from the next boot")
  endif()
elseif(NOT NUVEXA_UDEVADM)
  message(STATUS "No udevadm: the udev rules apply once udev reloads them")
endif()
