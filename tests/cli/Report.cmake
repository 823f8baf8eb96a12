# check --report: the page is written, and, where Chromium is installed, opened in it.
set(REPORT ${CMAKE_CURRENT_BINARY_DIR}/report-out)
file(MAKE_DIRECTORY ${REPORT})
set(REPORT_NODE_MODULES ${CMAKE_BINARY_DIR}/report-npm/node_modules)
cli_test(check_report_not_html EXIT_CODE 2 ARGS check ${DATA}/cgal_sphere.stl --report r.pdf
  STDERR "^quorin-mesh: error: --report writes an HTML page \\(.html\\), got 'r.pdf'\n$")
# A build that could not fetch the viewer library writes no report, and says so.
if(NOT EXISTS ${REPORT_NODE_MODULES}/three/build/three.min.js)
  cli_test(check_report_without_viewer EXIT_CODE 1
    ARGS check ${DATA}/cgal_sphere.stl --report ${REPORT}/sphere.html
    STDERR "has no report viewer")
  return()
endif()
cli_test(check_report EXIT_CODE 0 ARGS check ${DATA}/cgal_sphere.stl --report ${REPORT}/sphere.html
  STDOUT "Wrote .*sphere.html\n" FILES ${REPORT}/sphere.html)
cli_test(check_report_demo EXIT_CODE 0
  ARGS check ${OUT}/demo-part.stl --cad ${OUT}/demo-part.brep --selfx --report ${REPORT}/demo.html
       --out ${REPORT}/demo.vtp
  STDOUT "Deviation from .*demo-part.brep: max " "Self-intersecting groups: 0 \\(0 triangles\\)\n"
         "Wrote .*demo.vtp\nWrote .*demo.html\n"
  FILES ${REPORT}/demo.html ${REPORT}/demo.vtp)
set_tests_properties(cli.check_report_demo PROPERTIES FIXTURES_REQUIRED demo_output
                     FIXTURES_SETUP report_demo)

find_program(CHROMIUM_PROGRAM NAMES chromium chromium-browser)
find_program(NODE_PROGRAM NAMES node nodejs)
set(HAS_BROWSER OFF)
if(CHROMIUM_PROGRAM AND NODE_PROGRAM AND EXISTS ${REPORT_NODE_MODULES}/puppeteer-core)
  set(HAS_BROWSER ON)
endif()
if(HAS_BROWSER)
  set(BROWSER_ENV "NODE_PATH=${REPORT_NODE_MODULES};CHROMIUM=${CHROMIUM_PROGRAM}")
  add_test(NAME cli.report_in_browser
    COMMAND ${NODE_PROGRAM} ${CMAKE_CURRENT_SOURCE_DIR}/report-browser-test.js ${REPORT}/demo.html)
  set_tests_properties(cli.report_in_browser PROPERTIES ENVIRONMENT "${BROWSER_ENV}"
                       FIXTURES_REQUIRED report_demo TIMEOUT 300)
else()
  message(STATUS "Report browser tests left out: they need chromium, node and puppeteer-core")
endif()

# A million triangles: written as a decimated view, shown in under 5 s. The figure belongs
# to the optimised build; the sanitizer build leaves it out.
if(HAS_BROWSER AND NOT QUORIN_SANITIZE)
  add_test(NAME cli.report_million_mesh
    COMMAND ${NODE_PROGRAM} ${CMAKE_CURRENT_SOURCE_DIR}/make-big-mesh.js ${REPORT}/torus-1m.stl)
  cli_test(report_million_write EXIT_CODE 0
    ARGS check ${REPORT}/torus-1m.stl --report ${REPORT}/torus-1m.html
    STDOUT "1000000 triangles" "Wrote .*torus-1m.html")
  add_test(NAME cli.report_million_in_browser
    COMMAND ${NODE_PROGRAM} ${CMAKE_CURRENT_SOURCE_DIR}/report-browser-test.js
            ${REPORT}/torus-1m.html --max-load-ms 5000)
  set_tests_properties(cli.report_million_mesh PROPERTIES FIXTURES_SETUP million_mesh)
  set_tests_properties(cli.report_million_write PROPERTIES FIXTURES_REQUIRED million_mesh
                       FIXTURES_SETUP million_report)
  set_tests_properties(cli.report_million_in_browser PROPERTIES ENVIRONMENT "${BROWSER_ENV}"
                       FIXTURES_REQUIRED million_report TIMEOUT 300 RUN_SERIAL TRUE)
endif()
