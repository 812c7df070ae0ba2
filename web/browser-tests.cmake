# Runs the page's browser tests (web/test/) with node's test runner on the
# built page. cmake -DPAGE=varnholt-<version>-web.html -DWEB=web -P browser-tests.cmake
cmake_minimum_required(VERSION 3.21)
if(NOT EXISTS "${WEB}/node_modules/puppeteer-core/package.json")
    message(FATAL_ERROR "${WEB}/node_modules is missing: run `npm ci --prefix web` once "
                        "(it installs puppeteer-core from web/package-lock.json, no browser)")
endif()
find_program(NODE node REQUIRED)
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "VARNHOLT_PAGE=${PAGE}"
                        "${NODE}" --test --test-concurrency=1 test/
                WORKING_DIRECTORY "${WEB}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "browser tests failed (${status})")
endif()
