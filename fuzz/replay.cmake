# Replays the fuzz targets, built by the normal compiler, over their seed corpus and over every
# crasher ever found, so that the invariants the fuzzers assert also run under CTest (and under
# the sanitizers in the sanitizer build). Included from tests/CMakeLists.txt.
set(VELPIN_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

add_executable(replay_fuzz_load ${VELPIN_FUZZ_DIR}/fuzz_load.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_load PRIVATE tests_support velpin_warnings)
add_test(NAME replay_fuzz_load
         COMMAND replay_fuzz_load ${VELPIN_FUZZ_DIR}/corpus/fuzz_load ${PROJECT_SOURCE_DIR}/tests/crashers)

add_executable(replay_fuzz_reader ${VELPIN_FUZZ_DIR}/fuzz_reader.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_reader PRIVATE swfff velpin_warnings)
add_test(NAME replay_fuzz_reader
         COMMAND replay_fuzz_reader ${VELPIN_FUZZ_DIR}/corpus/fuzz_reader
                 ${PROJECT_SOURCE_DIR}/tests/crashers/reader)

add_executable(replay_fuzz_codec ${VELPIN_FUZZ_DIR}/fuzz_codec.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_codec PRIVATE velpin_codec velpin_warnings)
add_test(NAME replay_fuzz_codec
         COMMAND replay_fuzz_codec ${VELPIN_FUZZ_DIR}/corpus/fuzz_codec
                 ${PROJECT_SOURCE_DIR}/tests/crashers/codec)

add_executable(replay_fuzz_containers ${VELPIN_FUZZ_DIR}/fuzz_containers.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_containers PRIVATE velpin_analysis velpin_archive velpin_input
                                                     velpin_scan velpin_warnings)
add_test(NAME replay_fuzz_containers
         COMMAND replay_fuzz_containers ${VELPIN_FUZZ_DIR}/corpus/fuzz_containers
                 ${PROJECT_SOURCE_DIR}/tests/crashers/containers)

add_executable(replay_fuzz_info ${VELPIN_FUZZ_DIR}/fuzz_info.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_info PRIVATE velpin_analysis velpin_warnings)
add_test(NAME replay_fuzz_info
         COMMAND replay_fuzz_info ${VELPIN_FUZZ_DIR}/corpus/fuzz_info
                 ${PROJECT_SOURCE_DIR}/tests/crashers/info)

add_executable(replay_fuzz_export ${VELPIN_FUZZ_DIR}/fuzz_export.cpp ${VELPIN_FUZZ_DIR}/replay_main.cpp)
target_link_libraries(replay_fuzz_export PRIVATE velpin_export PNG::PNG velpin_warnings)
add_test(NAME replay_fuzz_export
         COMMAND replay_fuzz_export ${VELPIN_FUZZ_DIR}/corpus/fuzz_export)
