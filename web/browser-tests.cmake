# Runs the page's browser tests (web/test/) in one engine, with node's test
# runner on the built page, each case printed (TAP) as it starts and ends.
# cmake -DPAGE=varnholt-<version>-web.html -DAPP=varnholt-<version>-web-app -DVERSION=<version>
#       -DWEB=web -DENGINE=chromium|firefox|webkit -P browser-tests.cmake
cmake_minimum_required(VERSION 3.21)
foreach(package puppeteer-core axe-core)
    if(NOT EXISTS "${WEB}/node_modules/${package}/package.json")
        message(FATAL_ERROR "${WEB}/node_modules is missing ${package}: run `npm ci --prefix web` once "
                            "(it installs puppeteer-core and axe-core from web/package-lock.json, no browser)")
    endif()
endforeach()
find_program(NODE node REQUIRED)
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "VARNHOLT_PAGE=${PAGE}" "VARNHOLT_APP=${APP}"
                        "VARNHOLT_VERSION=${VERSION}" "VARNHOLT_BROWSER=${ENGINE}"
                        "${NODE}" --test --test-concurrency=1 --test-reporter=tap test/
                WORKING_DIRECTORY "${WEB}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "browser tests in ${ENGINE} failed (${status})")
endif()
