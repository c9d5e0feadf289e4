# traxel_library(name DEPS ... [ROOMS dir ...] [EXCLUDE file ...]): one static
# library per source folder, built from every .cpp/.h in it (or in each of its
# sub-folders ROOMS, each on the include path) but the excluded ones.
function(traxel_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE;ROOMS" ${ARGN})
  set(dirs "${CMAKE_CURRENT_SOURCE_DIR}")
  if(ARG_ROOMS)
    list(TRANSFORM ARG_ROOMS PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/" OUTPUT_VARIABLE dirs)
  endif()
  set(sources)
  foreach(dir IN LISTS dirs)
    file(GLOB found CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
    list(APPEND sources ${found})
  endforeach()
  foreach(skip IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${skip}")
  endforeach()
  if(NOT sources MATCHES "\\.cpp")
    return() # a layer with no code yet
  endif()
  # Lower layers that have no code yet are skipped.
  set(deps)
  foreach(dep IN LISTS ARG_DEPS)
    if(TARGET ${dep} OR NOT dep MATCHES "^traxel_")
      list(APPEND deps ${dep})
    endif()
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${dirs})
  target_link_libraries(${name} PUBLIC ${deps} PRIVATE traxel_options)
endfunction()

# traxel_test(name SOURCES ... DEPS ... [LABELS ...]): one GoogleTest
# executable, its cases registered one by one with ctest so that they run in
# parallel, each case carrying the labels.
include(GoogleTest)
function(traxel_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main traxel_options)
  set(labels)
  if(ARG_LABELS)
    set(labels LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 ${labels}
    DISCOVERY_TIMEOUT 60)
endfunction()
