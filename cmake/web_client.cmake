# Builds the browser client into COG_WEB_OUT, the folder the host serves: the esbuild bundle of
# web/src, the page and its style, the font, and the sprites and sounds exported from the native
# client's own painters and synthesizer.
find_program(COG_NPM npm REQUIRED)
set(COG_WEB_SRC ${CMAKE_SOURCE_DIR}/web)
file(GLOB COG_WEB_SCRIPTS CONFIGURE_DEPENDS ${COG_WEB_SRC}/src/*.js)
set(COG_WEB_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)

# The lock file pins esbuild (and the browser test's puppeteer-core); installed again only when it changes.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/web-npm.stamp
  COMMAND ${COG_NPM} ci --no-audit --no-fund --loglevel=error
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/web-npm.stamp
  WORKING_DIRECTORY ${COG_WEB_SRC}
  DEPENDS ${COG_WEB_SRC}/package.json ${COG_WEB_SRC}/package-lock.json
  COMMENT "Installing the web client's npm packages")

add_custom_command(OUTPUT ${COG_WEB_OUT}/client.js
  COMMAND ${COG_WEB_SRC}/node_modules/.bin/esbuild ${COG_WEB_SRC}/src/main.js --bundle --format=esm
          --target=es2020 --minify --sourcemap=inline --log-level=warning --outfile=${COG_WEB_OUT}/client.js
  DEPENDS ${COG_WEB_SCRIPTS} ${CMAKE_BINARY_DIR}/web-npm.stamp
  COMMENT "Bundling the web client")

add_executable(export_web_assets ${CMAKE_SOURCE_DIR}/tools/web_assets/export_web_assets.cpp)
target_link_libraries(export_web_assets PRIVATE cog_client)
add_custom_command(OUTPUT ${COG_WEB_OUT}/assets.json
  COMMAND export_web_assets ${COG_WEB_OUT}
  DEPENDS export_web_assets
  COMMENT "Exporting the web client's sprites and sounds")

add_custom_command(OUTPUT ${COG_WEB_OUT}/index.html ${COG_WEB_OUT}/style.css ${COG_WEB_OUT}/DejaVuSans.ttf
  COMMAND ${CMAKE_COMMAND} -E copy ${COG_WEB_SRC}/index.html ${COG_WEB_SRC}/style.css ${COG_WEB_OUT}/
  COMMAND ${CMAKE_COMMAND} -E copy ${COG_WEB_FONT} ${COG_WEB_OUT}/DejaVuSans.ttf
  DEPENDS ${COG_WEB_SRC}/index.html ${COG_WEB_SRC}/style.css ${COG_WEB_FONT})

add_custom_target(cog_web_client ALL DEPENDS ${COG_WEB_OUT}/client.js ${COG_WEB_OUT}/assets.json
                  ${COG_WEB_OUT}/index.html ${COG_WEB_OUT}/style.css ${COG_WEB_OUT}/DejaVuSans.ttf)
add_dependencies(cogwell-host cog_web_client)
