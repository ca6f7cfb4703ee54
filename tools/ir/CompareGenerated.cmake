# Runs the impulse-response generator into OUTPUT_DIR and compares every file it makes,
# byte for byte, with the committed ones in REFERENCE_DIR (and the two sets of names).

file(REMOVE_RECURSE "${OUTPUT_DIR}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")

execute_process(COMMAND "${GENERATOR}" "${OUTPUT_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "generator failed: ${result}")
endif()

file(GLOB generated RELATIVE "${OUTPUT_DIR}" "${OUTPUT_DIR}/*.wav")
file(GLOB committed RELATIVE "${REFERENCE_DIR}" "${REFERENCE_DIR}/*.wav")
list(SORT generated)
list(SORT committed)

if(NOT generated STREQUAL committed)
    message(FATAL_ERROR "file sets differ:\n generated: ${generated}\n committed: ${committed}")
endif()

list(LENGTH generated count)
if(NOT count EQUAL 8)
    message(FATAL_ERROR "expected 8 impulse responses, got ${count}")
endif()

foreach(name IN LISTS generated)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
        "${OUTPUT_DIR}/${name}" "${REFERENCE_DIR}/${name}"
        RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
        message(FATAL_ERROR "${name} differs from what the generator makes")
    endif()
endforeach()

message(STATUS "all ${count} impulse responses match the generator")
