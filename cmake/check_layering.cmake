# Fails the build when a file includes a project header from a layer it must not depend on.
# Dependencies point one way: server/main -> screens, network, fleet, ui, profiler -> shared, with the
# web endpoint under the network: a connection's transport is a TCP socket or a WebSocket
# (server/main -> server/network -> server/web -> shared). The screens
# and the status window may open and read profiler zones; nothing below server/main reaches up.
# The game client shares only shared/ with the host.
#
#   cmake -DSOURCE_DIR=<checkout> -P cmake/check_layering.cmake

# layer folder -> project folders its files may include from
set(ALLOWED_shared "shared/")
set(ALLOWED_server/profiler "shared/;server/profiler/")
set(ALLOWED_server/network "shared/;server/network/;server/web/")
set(ALLOWED_server/web "shared/;server/web/")
set(ALLOWED_server/fleet "shared/;server/fleet/")
set(ALLOWED_server/ui "shared/;server/ui/;server/profiler/")
set(ALLOWED_server/screens "shared/;server/screens/;server/profiler/")
set(ALLOWED_client "shared/;client/")
set(LAYERS shared server/profiler server/network server/web server/fleet server/ui server/screens client)

set(violations "")
foreach(layer ${LAYERS})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "^(shared|server)/")
        continue()
      endif()
      set(ok FALSE)
      foreach(prefix ${ALLOWED_${layer}})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        string(APPEND violations "\n  ${shown} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that point up a layer:${violations}")
endif()
