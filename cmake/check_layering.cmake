# Fails the build when a file includes a project header from a layer it must not depend on.
# Dependencies point one way and nothing reaches up. The host:
#   server/main -> every other server/ folder -> shared
#   server/main -> server/recording -> server/seats, server/options, server/network
#   server/main -> server/pictures -> server/network -> server/web -> shared
#   server/main -> server/metrics -> shared
#   server/options -> server/fleet, server/network, server/web
# with the web endpoint under the network: a connection's transport is a TCP socket or a
# WebSocket. The screens and the status window may open and read profiler zones. Everything that
# works on the host's state (host_state.h) lives in server/main; only replay/, tests/ and bench/
# sit above it.
# The game client shares only shared/ with the host; inside it:
#   client/window -> client/session -> client/net, client/picture, client/sound -> shared
#   client/window -> client/art -> shared
# and client/main.cpp, the program, above them all.
# The door (cogwell-door) shares only shared/ with the host and the client.
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
set(ALLOWED_server/options "shared/;server/options/;server/fleet/;server/network/;server/web/")
set(ALLOWED_server/seats "shared/;server/seats/")
set(ALLOWED_server/pictures "shared/;server/pictures/;server/network/")
set(ALLOWED_server/recording "shared/;server/recording/;server/seats/;server/options/;server/network/")
set(ALLOWED_server/metrics "shared/;server/metrics/")
set(ALLOWED_server/main "shared/;server/")
set(ALLOWED_client "shared/;client/")
set(ALLOWED_client/net "shared/;client/net/")
set(ALLOWED_client/picture "shared/;client/picture/")
set(ALLOWED_client/art "shared/;client/art/")
set(ALLOWED_client/sound "shared/;client/sound/")
set(ALLOWED_client/session "shared/;client/session/;client/net/;client/picture/;client/sound/")
set(ALLOWED_client/window "shared/;client/")
set(ALLOWED_door "shared/;door/")
set(LAYERS shared server/profiler server/network server/web server/fleet server/ui server/screens server/options server/seats server/pictures server/recording server/metrics server/main client client/net client/picture client/art client/sound client/session client/window door)

set(violations "")
foreach(layer ${LAYERS})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "^(shared|server|client|door)/")
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
