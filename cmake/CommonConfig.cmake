# Settings every target of ours shares.
add_library(quillbox_common INTERFACE)
target_compile_features(quillbox_common INTERFACE cxx_std_20)
target_compile_options(quillbox_common INTERFACE -Wall -Wextra)
target_compile_definitions(quillbox_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QUILLBOX_VK_LOGIN_HOST="${QUILLBOX_VK_LOGIN_HOST}"
  QUILLBOX_VK_SITE_HOST="${QUILLBOX_VK_SITE_HOST}"
  QUILLBOX_VK_API_HOST="${QUILLBOX_VK_API_HOST}"
  QUILLBOX_UPDATE_HOST="${QUILLBOX_UPDATE_HOST}"
  QUILLBOX_GA_HOST="${QUILLBOX_GA_HOST}"
  QUILLBOX_GA_ACCOUNT="${QUILLBOX_GA_ACCOUNT}")
target_include_directories(quillbox_common INTERFACE ${PROJECT_SOURCE_DIR})
if(QUILLBOX_SANITIZE)
  target_compile_options(quillbox_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(quillbox_common INTERFACE -fsanitize=address,undefined)
endif()
set(CMAKE_AUTOMOC ON)

# One static library per source folder, its sources found in the folder itself.
function(quillbox_library name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(GLOB _cpp CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_cpp)
    add_library(${name} STATIC ${_src})
    target_link_libraries(${name} PUBLIC quillbox_common ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE quillbox_common ${ARGN})
  endif()
endfunction()

# One test program per test folder; every test program is one ctest test.
function(quillbox_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE quillbox_common testsupport ${T_LIBS} GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
