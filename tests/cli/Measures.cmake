# selfx, deviation, hull, obb and the per-triangle fields of check.
set(MEASURES ${CMAKE_CURRENT_BINARY_DIR}/measures-out)
file(MAKE_DIRECTORY ${MEASURES})
foreach(command selfx deviation hull obb)
  cli_test(${command}_help EXIT_CODE 0 ARGS ${command} --help STDOUT "Usage: quorin-mesh ${command}")
endforeach()

# Two triangles piercing each other, and a third one apart: one group of two.
file(WRITE ${MEASURES}/crossing.stl "solid crossing\n")
foreach(t "0 0 0;2 0 0;0 2 0" "0.5 0.5 -1;0.5 0.5 1;1.5 -0.5 0" "5 5 5;6 5 5;5 6 5")
  file(APPEND ${MEASURES}/crossing.stl " facet normal 0 0 0\n  outer loop\n")
  foreach(v ${t})
    file(APPEND ${MEASURES}/crossing.stl "   vertex ${v}\n")
  endforeach()
  file(APPEND ${MEASURES}/crossing.stl "  endloop\n endfacet\n")
endforeach()
file(APPEND ${MEASURES}/crossing.stl "endsolid crossing\n")
cli_test(selfx_crossing EXIT_CODE 0 ARGS selfx ${MEASURES}/crossing.stl --out ${MEASURES}/groups.vtp
  STDOUT "Self-intersecting groups: 1 \\(2 triangles\\)\n  group 1: 2 triangles, first 1\n"
         "Wrote .*groups.vtp"
  FILES ${MEASURES}/groups.vtp)
# The written field reads back through the tool's own VTP reader.
cli_test(selfx_groups_field EXIT_CODE 0 ARGS info ${MEASURES}/groups.vtp
  STDOUT "Field 'SelfIntersectionGroup': elements, 1 component, 3 values")
set_tests_properties(cli.selfx_crossing PROPERTIES FIXTURES_SETUP selfx_groups)
set_tests_properties(cli.selfx_groups_field PROPERTIES FIXTURES_REQUIRED selfx_groups)
cli_test(selfx_clean EXIT_CODE 0 ARGS selfx ${DATA}/cgal_sphere.stl
  STDOUT "Self-intersecting groups: 0 \\(0 triangles\\)\n")
cli_test(selfx_out_not_vtk EXIT_CODE 2 ARGS selfx ${DATA}/cgal_sphere.stl --out groups.stl
  STDERR "^quorin-mesh: error: --out writes VTK XML \\(.vtp or .vtu\\), got 'groups.stl'\n$")

# The demo part against its own meshes: the welded mesh lies on the part.
cli_test(deviation_demo EXIT_CODE 0
  ARGS deviation ${OUT}/demo-part.stl ${OUT}/demo-part.brep --out ${MEASURES}/deviation.vtu
  STDOUT "Deviation: max (0|[0-9.]+e-[0-9]+), mean [0-9.e+-]+, RMS [0-9.e+-]+ \\([1-9][0-9]* triangles\\)\n"
         "  0 +\\.\\. " "Wrote .*deviation.vtu"
  FILES ${MEASURES}/deviation.vtu)
cli_test(deviation_mesh_as_cad EXIT_CODE 1 ARGS deviation ${DATA}/cgal_sphere.stl ${DATA}/cgal_sphere.stl
  STDERR "is not a CAD file")
set_tests_properties(cli.deviation_demo PROPERTIES FIXTURES_REQUIRED demo_output)

# The unit cube's corners with a point inside and one on a face: the hull keeps the corners.
file(WRITE ${MEASURES}/cube.xyz "# unit cube\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n"
                                "1 1 1\n0.5 0.5 0.5\n0.5 0.5 1\n")
cli_test(hull_point_cloud EXIT_CODE 0 ARGS hull ${MEASURES}/cube.xyz ${MEASURES}/cube-hull.stl
  STDOUT "Read .*cube.xyz: 10 points\nHull: 8 nodes, 12 triangles\n"
  FILES ${MEASURES}/cube-hull.stl)
cli_test(hull_of_mesh EXIT_CODE 0 ARGS hull ${DATA}/cgal_sphere.stl ${MEASURES}/sphere-hull.ply
  STDOUT "Read .*: 162 points\nHull: 162 nodes, 320 triangles\n")
file(WRITE ${MEASURES}/flat.xyz "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0.5 0.5 0\n")
cli_test(hull_flat EXIT_CODE 1 ARGS hull ${MEASURES}/flat.xyz ${MEASURES}/x.stl
  STDERR "^quorin-mesh: error: '.*flat.xyz' has no solid hull: fewer than 4 points, or all on one "
         "plane, line or point\n$")

# A box turned 30 degrees about z: the oriented box finds its 4 x 2 x 1 extents, the
# axis-aligned one is larger.
file(WRITE ${MEASURES}/turned-box.xyz
  "0.000000000 0.000000000 0\n"
  "0.000000000 0.000000000 1\n"
  "-1.000000000 1.732050808 0\n"
  "-1.000000000 1.732050808 1\n"
  "3.464101615 2.000000000 0\n"
  "3.464101615 2.000000000 1\n"
  "2.464101615 3.732050808 0\n"
  "2.464101615 3.732050808 1\n")
cli_test(obb_point_cloud EXIT_CODE 0 ARGS obb ${MEASURES}/turned-box.xyz ${MEASURES}/box.stl
  STDOUT "OBB extents: 4 x 2 x 1, volume 8\n" "Axis-aligned box: 4.4641 x 3.73205 x 1, volume 16.6603\n"
         "Wrote .*box.stl"
  FILES ${MEASURES}/box.stl)
cli_test(obb_sphere EXIT_CODE 0 ARGS obb ${DATA}/cgal_sphere.stl --optimise
  STDOUT "box optimised" "OBB centre: .[-0-9]" "OBB axes: .[-0-9]"
         "Axis-aligned box: 1 x 1 x 1, volume 1\n")
cli_test(obb_box_written_is_closed EXIT_CODE 0 ARGS info ${MEASURES}/box.stl
  STDOUT "Num. triangles: 12\n" "Boundary edges: 0\n")
set_tests_properties(cli.obb_point_cloud PROPERTIES FIXTURES_SETUP obb_box)
set_tests_properties(cli.obb_box_written_is_closed PROPERTIES FIXTURES_REQUIRED obb_box)

# check --out: one field per metric, NaN-padded, read back by info.
cli_test(check_fields EXIT_CODE 0
  ARGS check ${DATA}/cgal_sphere.stl --out ${MEASURES}/quality.vtp --metric min-angle --metric area
  STDOUT "Wrote .*quality.vtp")
cli_test(check_fields_read_back EXIT_CODE 0 ARGS info ${MEASURES}/quality.vtp
  STDOUT "Field 'Minimum angle': elements, 1 component, 320 values\n"
         "Field 'Area': elements, 1 component, 320 values\n")
set_tests_properties(cli.check_fields PROPERTIES FIXTURES_SETUP check_fields)
set_tests_properties(cli.check_fields_read_back PROPERTIES FIXTURES_REQUIRED check_fields)

# The same commands on the shared real files, when they are there.
set(SHARED ${PROJECT_SOURCE_DIR}/../shared/data)
cli_test(selfx_shared_closed_stl EXIT_CODE 0 ARGS selfx ${SHARED}/stl/occt_shape.stl
  STDOUT "occt_shape.stl: 494 triangles, 249 nodes\nSelf-intersecting groups: 0 \\(0 triangles\\)\n")
cli_test(hull_shared_ply EXIT_CODE 0
  ARGS hull ${SHARED}/ply/elephant_vtk_binary_le.ply ${MEASURES}/elephant-hull.stl
  STDOUT "Read .*: 2775 points\nHull: [1-9][0-9]* nodes, [1-9][0-9]* triangles\n")
cli_test(obb_shared_stl EXIT_CODE 0 ARGS obb ${SHARED}/stl/part1.stl
  STDOUT "part1.stl: 190 nodes\n" "Axis-aligned box: 6 x 5 x 3, volume 90\n")
cli_test(deviation_shared_step_mesh EXIT_CODE 0
  ARGS mesh ${SHARED}/cad/screw.step ${MEASURES}/screw.stl --deflection 0.05)
cli_test(deviation_shared_step EXIT_CODE 0
  ARGS deviation ${MEASURES}/screw.stl ${SHARED}/cad/screw.step --deflection 0.01
  STDOUT "Deviation: max (0|[0-9.]+e-[0-9]+|0\\.0[0-9]+), ")
set_tests_properties(cli.deviation_shared_step_mesh PROPERTIES FIXTURES_SETUP screw_mesh)
set_tests_properties(cli.deviation_shared_step PROPERTIES FIXTURES_REQUIRED screw_mesh)
foreach(name selfx_shared_closed_stl hull_shared_ply obb_shared_stl deviation_shared_step_mesh
        deviation_shared_step)
  if(NOT EXISTS ${SHARED})
    set_tests_properties(cli.${name} PROPERTIES DISABLED TRUE)
  endif()
endforeach()

# The command lines of the new commands: an optional output, one file too many, a missing one.
cli_test(obb_without_output EXIT_CODE 0 ARGS obb ${MEASURES}/cube.xyz
  STDOUT "OBB extents: 1 x 1 x 1, volume 1\n")
cli_test(obb_three_files EXIT_CODE 2 ARGS obb a.stl b.stl c.stl
  STDERR "^quorin-mesh: error: obb takes a file and an optional output, got also 'c.stl'\n$")
cli_test(obb_no_file EXIT_CODE 2 ARGS obb STDERR "^Usage: quorin-mesh obb INPUT")
cli_test(hull_output_checked_first EXIT_CODE 2 ARGS hull missing.xyz hull.msh
  STDERR "MSH files are read only")
cli_test(deviation_one_file EXIT_CODE 2 ARGS deviation ${DATA}/cgal_sphere.stl
  STDERR "^Usage: quorin-mesh deviation MESH CAD")
set_tests_properties(cli.obb_without_output PROPERTIES FIXTURES_REQUIRED obb_box)
# Signed distances of the part's own mesh average out near zero, the summary's magnitudes
# stay those of the unsigned run.
cli_test(deviation_signed EXIT_CODE 0 ARGS deviation ${OUT}/demo-part.stl ${OUT}/demo-part.brep --signed
  STDOUT "from the part \\(signed\\)\n" "Deviation: max (0|[0-9.]+e-[0-9]+), ")
set_tests_properties(cli.deviation_signed PROPERTIES FIXTURES_REQUIRED demo_output)
# A point cloud is bounded too; a PLY without faces is one.
cli_test(hull_ply_cloud EXIT_CODE 0 ARGS hull ${CMAKE_CURRENT_BINARY_DIR}/input-out/cloud.ply
  ${MEASURES}/tetra-hull.stl STDOUT "Hull: 4 nodes, 4 triangles\n")
# The CAD file of deviation is recognised by its content too.
add_test(NAME cli.deviation_renamed_cad_copy
  COMMAND ${CMAKE_COMMAND} -E copy ${OUT}/demo-part.brep ${MEASURES}/demo-part.cad)
cli_test(deviation_renamed_cad EXIT_CODE 0
  ARGS deviation ${OUT}/demo-part.stl ${MEASURES}/demo-part.cad
  STDERR "reading '.*demo-part.cad' as BREP by its content \\(its extension '.cad' is unknown\\)"
  STDOUT "Deviation: max ")
set_tests_properties(cli.deviation_renamed_cad_copy PROPERTIES FIXTURES_REQUIRED demo_output
                     FIXTURES_SETUP renamed_cad)
set_tests_properties(cli.deviation_renamed_cad PROPERTIES FIXTURES_REQUIRED "demo_output;renamed_cad")
