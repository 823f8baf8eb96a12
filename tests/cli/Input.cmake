# What users hand the tool: point clouds, files with a missing or wrong extension, PLY
# headers with a stray line.
set(INPUT ${CMAKE_CURRENT_BINARY_DIR}/input-out)
set(SHARED ${PROJECT_SOURCE_DIR}/../shared/data)
file(MAKE_DIRECTORY ${INPUT})

# Point clouds: a PLY without faces and a .pts with its count line and extra columns are
# read by info; a command that needs triangles says so.
file(WRITE ${INPUT}/cloud.ply "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\n"
     "property float y\nproperty float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n")
file(WRITE ${INPUT}/scan.pts "3\n0 0 0 12 255 0 0\n1 0 0 14 0 255 0\n\n0 2 0 9 0 0 255\n")
cli_test(info_ply_cloud EXIT_CODE 0 ARGS info ${INPUT}/cloud.ply
  STDOUT "Num. triangles: 0\nNum. nodes: 4\n" "Point cloud: 4 points\n")
cli_test(info_pts_cloud EXIT_CODE 0 ARGS info ${INPUT}/scan.pts
  STDOUT "Num. nodes: 3\n" "Format: point cloud, " "Bounding box: \\[0, 0, 0\\] .. \\[1, 2, 0\\]")
cli_test(check_refuses_cloud EXIT_CODE 1 ARGS check ${INPUT}/cloud.ply
  STDERR "^quorin-mesh: error: '.*cloud.ply' is a point cloud \\(4 points, no triangles\\); this "
         "command needs a triangle mesh \\(point clouds are read by info, hull and obb\\)\n$")
file(WRITE ${INPUT}/broken.xyz "0 0 0\n1 0 x\n")
cli_test(info_bad_xyz_line EXIT_CODE 1 ARGS info ${INPUT}/broken.xyz
  STDERR "^quorin-mesh: error: cannot read '.*broken.xyz' line 2: expected three finite coordinates\n$")

# A stray line in a PLY header is skipped with a warning.
file(WRITE ${INPUT}/stray.ply "ply\nformat ascii 1.0\ncomment written by an old exporter\n"
     "www.blender.org\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
     "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n"
     "3 0 1 2\n")
cli_test(info_ply_stray_header_line EXIT_CODE 0 ARGS info ${INPUT}/stray.ply
  STDOUT "Num. triangles: 1\n"
  STDERR "Ignored the unknown header line 'www.blender.org'")

# Renamed copies of every format are read by their content, with a note.
set(JT_HEAD "Version 9.5 JT                                                                   ")
file(WRITE ${INPUT}/assembly.bin "${JT_HEAD}\n")
set(RENAMED
  "stl/cgal_sphere.stl|sphere.dat|STL|Format: STL binary"
  "ply/cube.ply|cube.stl|PLY|Format: PLY ASCII"
  "obj/box.obj|box.ply|OBJ|Format: OBJ"
  "msh/hex_transfinite.msh|hex|MSH|Format: MSH"
  "vtk/linear_cells_ascii.vtu|cells.xml|VTU|Format: VTU"
  "nas/pynastran_pload4_chexa_free.bdf|deck.txt|NASTRAN|Format: NASTRAN")
foreach(entry IN LISTS RENAMED)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 name)
  list(GET entry 2 format)
  list(GET entry 3 fact)
  configure_file(${PROJECT_SOURCE_DIR}/tests/data/${source} ${INPUT}/${name} COPYONLY)
  cli_test(sniff_${name} EXIT_CODE 0 ARGS info ${INPUT}/${name}
    STDOUT "${fact}"
    STDERR "^quorin-mesh: note: reading '.*${name}' as ${format} by its content \\(")
endforeach()
# ASCII STL under another format's extension: the note names what the extension said.
configure_file(${CMAKE_CURRENT_BINARY_DIR}/repair-out/open-box.stl ${INPUT}/open-box.obj COPYONLY)
cli_test(sniff_ascii_stl_named_obj EXIT_CODE 0 ARGS info ${INPUT}/open-box.obj
  STDOUT "Format: STL ASCII" STDERR "as STL by its content \\(its extension says OBJ\\)")
# A JT file is recognised; it is read only when the tool has a JT reader.
cli_test(sniff_jt_without_reader EXIT_CODE 1 ARGS info ${INPUT}/assembly.bin
  STDERR "as JT by its content" "JT")

# The same on the shared real files, when they are there.
set(SHARED_RENAMED
  "cad/screw.step|screw.dat|STEP|Format: STEP"
  "stl/part1.stl|part1.txt|STL|Format: STL ASCII"
  "vtk/hinge_surface_appended_zlib.vtp|hinge.xml|VTP|Format: VTP")
foreach(entry IN LISTS SHARED_RENAMED)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 name)
  list(GET entry 2 format)
  list(GET entry 3 fact)
  if(EXISTS ${SHARED}/${source})
    configure_file(${SHARED}/${source} ${INPUT}/shared-${name} COPYONLY)
  endif()
  cli_test(sniff_shared_${name} EXIT_CODE 0 ARGS info ${INPUT}/shared-${name}
    STDOUT "${fact}" STDERR "as ${format} by its content")
  if(NOT EXISTS ${SHARED}/${source})
    set_tests_properties(cli.sniff_shared_${name} PROPERTIES DISABLED TRUE)
  endif()
endforeach()

# Vertex colours, normals and texture coordinates survive convert to PLY and VTK XML, and
# are dropped, with a word, by formats that cannot hold them.
file(WRITE ${INPUT}/coloured.ply "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\n"
     "property float y\nproperty float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
     "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty float s\n"
     "property float t\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
     "0 0 0 0 0 1 255 0 0 0 0\n1 0 0 0 0 1 0 255 0 1 0\n1 1 0 0 0 1 0 0 255 1 1\n"
     "0 1 0 0 0 1 255 255 255 0 1\n3 0 1 2\n3 0 2 3\n")
cli_test(convert_keeps_attributes_ply EXIT_CODE 0
  ARGS convert ${INPUT}/coloured.ply ${INPUT}/coloured-copy.ply
  STDOUT "Kept the vertex colours, normals, texture coordinates\n")
cli_test(convert_kept_attributes_read_back EXIT_CODE 0 ARGS info ${INPUT}/coloured-copy.ply
  STDOUT "Vertex attributes: colours, normals, texture coordinates\n")
set_tests_properties(cli.convert_keeps_attributes_ply PROPERTIES FIXTURES_SETUP coloured_copy)
set_tests_properties(cli.convert_kept_attributes_read_back PROPERTIES FIXTURES_REQUIRED coloured_copy)
cli_test(convert_keeps_attributes_vtp EXIT_CODE 0
  ARGS convert ${INPUT}/coloured.ply ${INPUT}/coloured.vtp
  STDOUT "Kept the vertex colours, normals, texture coordinates\n")
cli_test(convert_kept_attributes_vtp_read_back EXIT_CODE 0 ARGS info ${INPUT}/coloured.vtp
  STDOUT "Field 'Normals': nodes, 3 components, 4 values\n"
         "Field 'Colors': nodes, 3 components, 4 values\n"
         "Field 'TextureCoordinates': nodes, 2 components, 4 values\n")
set_tests_properties(cli.convert_keeps_attributes_vtp PROPERTIES FIXTURES_SETUP coloured_vtp)
set_tests_properties(cli.convert_kept_attributes_vtp_read_back PROPERTIES FIXTURES_REQUIRED coloured_vtp)
cli_test(convert_drops_attributes_stl EXIT_CODE 0
  ARGS convert ${INPUT}/coloured.ply ${INPUT}/coloured.stl
  STDOUT "Dropped the vertex colours, normals, texture coordinates: the format cannot hold them\n")

# A recognised file that its reader then refuses fails with the reader's reason, after the
# note; content that matches no signature falls back on the extension.
configure_file(${PROJECT_SOURCE_DIR}/tests/data/stl/truncated.stl ${INPUT}/truncated.dat COPYONLY)
cli_test(sniff_truncated_stl EXIT_CODE 1 ARGS info ${INPUT}/truncated.dat
  STDERR "as STL by its content" "error: no triangles could be read from '.*truncated.dat'")
file(WRITE ${INPUT}/notes.dat "a few words\nof text\n")
cli_test(sniff_nothing_known EXIT_CODE 1 ARGS info ${INPUT}/notes.dat
  STDERR "^quorin-mesh: error: unknown file type '.dat' of ")
# A text point cloud whose first line is not a lone count is refused at that line.
file(WRITE ${INPUT}/bad-count.pts "3 4\n0 0 0\n")
cli_test(info_pts_bad_first_line EXIT_CODE 1 ARGS info ${INPUT}/bad-count.pts
  STDERR "line 1: expected three finite coordinates")
# Coordinates that are not finite are refused with their line.
file(WRITE ${INPUT}/infinite.xyz "0 0 0\n1 inf 0\n")
cli_test(info_xyz_infinite EXIT_CODE 1 ARGS info ${INPUT}/infinite.xyz
  STDERR "infinite.xyz' line 2: expected three finite coordinates")
cli_test(check_out_refuses_cloud EXIT_CODE 1 ARGS check ${INPUT}/scan.pts --out ${INPUT}/q.vtp
  STDERR "is a point cloud \\(3 points, no triangles\\)")
