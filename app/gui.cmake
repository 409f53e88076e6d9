# The Qt desktop application: widgets over the core.
#   TesselonGui   static library of every app/<subsystem>/gui/*.cpp
#   Tesselon-6    the program (tesselon-6 on disk)
#   gui tests     one binary per app/<subsystem>/gui/tests folder
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport Test)

find_path(QCUSTOMPLOT_INCLUDE_DIR qcustomplot.h REQUIRED)
# The Qt 6 build of QCustomPlot; the plain name is the Qt 5 one.
find_library(QCUSTOMPLOT_QT6_LIBRARY NAMES QCustomPlotQt6 qcustomplotqt6 REQUIRED)
if(NOT TARGET QCustomPlot::Qt6)
  add_library(QCustomPlot::Qt6 UNKNOWN IMPORTED)
  set_target_properties(QCustomPlot::Qt6 PROPERTIES
    IMPORTED_LOCATION ${QCUSTOMPLOT_QT6_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${QCUSTOMPLOT_INCLUDE_DIR}
    INTERFACE_COMPILE_DEFINITIONS QCUSTOMPLOT_USE_LIBRARY)
  target_link_libraries(QCustomPlot::Qt6 INTERFACE Qt6::Widgets Qt6::PrintSupport)
endif()

set(gui_sources)
foreach(sub ${TESSELON_SUBSYSTEMS})
  file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/gui/*.cpp
                                ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/gui/*.h)
  list(APPEND gui_sources ${s})
endforeach()
# The program's entry point stays out of the library so tests can link it.
set(gui_main ${CMAKE_CURRENT_SOURCE_DIR}/shell/gui/main.cpp)
list(REMOVE_ITEM gui_sources ${gui_main})

add_library(TesselonGui STATIC ${gui_sources} ${CMAKE_CURRENT_SOURCE_DIR}/resources/tesselon.qrc)
set_target_properties(TesselonGui PROPERTIES AUTOMOC ON AUTORCC ON)
tesselon_include_root(TesselonGui)
target_link_libraries(TesselonGui PUBLIC Qt6::Widgets Qt6::PrintSupport QCustomPlot::Qt6 FenmarlCommon
                                         Threads::Threads ${CMAKE_DL_LIBS})
target_link_libraries(TesselonGui PUBLIC TesselonCore)
# Qt's headers are not ours to fix.
get_target_property(qt_inc Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
target_include_directories(TesselonGui SYSTEM PUBLIC ${qt_inc})

add_executable(Tesselon-6 ${gui_main})
set_target_properties(Tesselon-6 PROPERTIES OUTPUT_NAME tesselon-6)
target_link_libraries(Tesselon-6 PRIVATE TesselonGui Torvane)
# Backtraces in crash dumps name our own functions.
target_link_options(Tesselon-6 PRIVATE -rdynamic)

foreach(sub ${TESSELON_SUBSYSTEMS})
  file(GLOB t CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/gui/tests/*.cpp)
  if(t)
    tesselon_add_test(gui_${sub}_tests LABEL gui SOURCES ${t} LIBS TesselonGui Qt6::Test)
  endif()
endforeach()
