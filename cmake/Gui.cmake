# The Qt 6 Widgets GUI: everything below src/gui.
find_package(Qt6 REQUIRED COMPONENTS Widgets Network)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

# The pictures are drawn at build time by a small Qt program from the sources in
# resources/imagegen, then compiled in with the resource compiler.
add_executable(marrowdeck-imagegen
  ${CMAKE_SOURCE_DIR}/resources/imagegen/image_gen.cpp
  ${CMAKE_SOURCE_DIR}/resources/imagegen/gif_writer.cpp)
target_link_libraries(marrowdeck-imagegen PRIVATE Qt6::Gui)
set_target_properties(marrowdeck-imagegen PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools AUTOMOC OFF AUTORCC OFF)
set(MDK_IMAGE_DIR ${CMAKE_BINARY_DIR}/images)
set(MDK_IMAGE_QRC ${MDK_IMAGE_DIR}/marrowdeck_images.qrc)
set(MDK_IMAGE_CPP ${MDK_IMAGE_DIR}/qrc_marrowdeck_images.cpp)
add_custom_command(OUTPUT ${MDK_IMAGE_QRC}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MDK_IMAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:marrowdeck-imagegen> ${MDK_IMAGE_DIR}
  DEPENDS marrowdeck-imagegen
  COMMENT "Drawing the pictures" VERBATIM)
add_custom_command(OUTPUT ${MDK_IMAGE_CPP}
  COMMAND Qt6::rcc --name marrowdeck_images -o ${MDK_IMAGE_CPP} ${MDK_IMAGE_QRC}
  DEPENDS ${MDK_IMAGE_QRC}
  COMMENT "Compiling the pictures" VERBATIM)
set_source_files_properties(${MDK_IMAGE_CPP} PROPERTIES GENERATED ON SKIP_AUTOGEN ON)

# Every Qt file lives below src/gui, one folder per kind (controls, dialogs, panes, window).
file(GLOB_RECURSE MDK_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/gui/*.cpp)
list(FILTER MDK_GUI_SOURCES EXCLUDE REGEX "/main_gui\\.cpp$")
if(MDK_GUI_SOURCES)
  file(GLOB MDK_QRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.qrc)
  add_library(marrowdeck_gui STATIC ${MDK_GUI_SOURCES} ${MDK_QRC} ${MDK_IMAGE_CPP})
  target_include_directories(marrowdeck_gui PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  target_link_libraries(marrowdeck_gui PUBLIC marrowdeck_sim Qt6::Widgets Qt6::Network)
  if(MDK_PCH)
    # The Qt headers most of its files include; not the whole of Qt Widgets, whose
    # precompiled header would outweigh what it saves.
    target_precompile_headers(marrowdeck_gui PRIVATE <QApplication> <QDialog> <QPushButton>
      <QLineEdit> <QLabel> <QGridLayout> <QVBoxLayout> <QHeaderView> <QListWidget> <QCheckBox>
      <QPainter> <QTimer> <QPointer> <QUrl> <QStyle> <string> <vector> <memory>)
  endif()
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/src/gui/window/main_gui.cpp)
  add_executable(marrowdeck ${CMAKE_SOURCE_DIR}/src/gui/window/main_gui.cpp)
  target_link_libraries(marrowdeck PRIVATE marrowdeck_gui)
  add_dependencies(marrowdeck marrowdeck_data)
endif()
