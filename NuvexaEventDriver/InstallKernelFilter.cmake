# Runs during `cmake --install`: puts the kernel filter's sources in
# /usr/src/<name>-<version>, then adds them to DKMS, which builds and installs
# the module for the running kernel (and, from then on, for every new
# kernel), and loads the module, which rebinds the devices already attached.
# The DKMS steps run only for a real root install: not for a DESTDIR staging
# install (a package does them in its own scripts). A user's own install
# (not root, no DESTDIR) cannot write /usr/src and leaves the filter out.
# A missing dkms, missing kernel headers or a failing step never fails the
# install; it says what to do instead. NUVEXA_DKMS_KERNEL in the environment
# names another kernel release than the running one (the module is then
# built and installed, not loaded).

set(nuvexa_module ${NUVEXA_KERNEL_FILTER_NAME})
set(nuvexa_dkms_id ${NUVEXA_KERNEL_FILTER_NAME}/${NUVEXA_KERNEL_FILTER_VERSION})
set(nuvexa_source_dir /usr/src/${NUVEXA_KERNEL_FILTER_NAME}-${NUVEXA_KERNEL_FILTER_VERSION})
set(nuvexa_by_hand "dkms install ${nuvexa_dkms_id} && modprobe ${nuvexa_module}")

execute_process(COMMAND id -u OUTPUT_VARIABLE nuvexa_uid OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if("$ENV{DESTDIR}" STREQUAL "" AND NOT nuvexa_uid STREQUAL "0")
  message(STATUS "Not installing as root: the kernel filter is left out (its sources belong in ${nuvexa_source_dir})")
  return()
endif()
# file(INSTALL) puts DESTDIR in front of the absolute folder itself.
file(INSTALL DESTINATION ${nuvexa_source_dir} TYPE FILE FILES ${NUVEXA_KERNEL_FILTER_SOURCES})

if(NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "Staging install into $ENV{DESTDIR}: not building the kernel filter through DKMS")
  return()
endif()
if(NOT NUVEXA_KERNEL_FILTER_ACTIVATE)
  message(STATUS "NUVEXA_INSTALL_ACTIVATE is off: to build and load the kernel filter, run: ${nuvexa_by_hand}")
  return()
endif()
find_program(NUVEXA_DKMS dkms PATHS /usr/sbin /sbin)
if(NOT NUVEXA_DKMS)
  message(STATUS "No dkms: the kernel filter is not built. Install the dkms package, then run: ${nuvexa_by_hand}")
  return()
endif()

# Runs one step; on failure says so with the step's own output and sets
# nuvexa_failed.
function(nuvexa_dkms_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    set(nuvexa_failed FALSE PARENT_SCOPE)
  else()
    string(STRIP "${output}" output)
    message(STATUS "Could not ${what}:\n${output}")
    set(nuvexa_failed TRUE PARENT_SCOPE)
  endif()
endfunction()

set(nuvexa_kernel "$ENV{NUVEXA_DKMS_KERNEL}")
set(nuvexa_load TRUE)
execute_process(COMMAND uname -r OUTPUT_VARIABLE nuvexa_running OUTPUT_STRIP_TRAILING_WHITESPACE)
if(nuvexa_kernel STREQUAL "")
  set(nuvexa_kernel "${nuvexa_running}")
elseif(NOT nuvexa_kernel STREQUAL nuvexa_running)
  set(nuvexa_load FALSE)
endif()

# The version never changes between builds of the project, so a reinstall
# removes what DKMS holds of it first; otherwise DKMS would keep the module
# built from the old sources.
execute_process(COMMAND ${NUVEXA_DKMS} status -m ${NUVEXA_KERNEL_FILTER_NAME} -v ${NUVEXA_KERNEL_FILTER_VERSION}
                OUTPUT_VARIABLE nuvexa_status ERROR_QUIET)
if(NOT nuvexa_status STREQUAL "")
  nuvexa_dkms_step("remove the earlier ${nuvexa_dkms_id} from DKMS" ${NUVEXA_DKMS} remove ${nuvexa_dkms_id} --all)
endif()
nuvexa_dkms_step("add ${nuvexa_dkms_id} to DKMS" ${NUVEXA_DKMS} add ${nuvexa_dkms_id})
if(nuvexa_failed)
  return()
endif()

# Added, DKMS builds the module by itself once headers for a kernel arrive.
if(NOT EXISTS /lib/modules/${nuvexa_kernel}/build/Makefile)
  message(STATUS "No kernel headers for ${nuvexa_kernel}: the kernel filter is added to DKMS but not built. "
                 "Install linux-headers-${nuvexa_kernel}; DKMS then builds it")
  return()
endif()
nuvexa_dkms_step("build and install the kernel filter for ${nuvexa_kernel}"
                 ${NUVEXA_DKMS} install ${nuvexa_dkms_id} -k ${nuvexa_kernel})
if(nuvexa_failed)
  return()
endif()
message(STATUS "Installed the kernel filter ${nuvexa_dkms_id} for ${nuvexa_kernel} through DKMS")
if(NOT nuvexa_load)
  return()
endif()

# Loading anew picks up a module rebuilt from new sources; the devices leave
# and come back under new hidraw nodes, which the agent follows.
find_program(NUVEXA_MODPROBE modprobe PATHS /usr/sbin /sbin)
if(NOT NUVEXA_MODPROBE)
  message(STATUS "No modprobe: load the kernel filter by hand (modprobe ${nuvexa_module}) or reboot")
  return()
endif()
# Fails when the module is not loaded yet, which is fine.
execute_process(COMMAND ${NUVEXA_MODPROBE} -r ${nuvexa_module} OUTPUT_QUIET ERROR_QUIET)
nuvexa_dkms_step("load the kernel filter" ${NUVEXA_MODPROBE} ${nuvexa_module})
if(NOT nuvexa_failed)
  message(STATUS "Loaded the kernel filter: the devices now bind to it instead of hid-generic")
endif()
