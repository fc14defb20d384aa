# The confirmation dialog and the Qt application bootstrap, compiled into
# reservation_core (AUTOMOC, AUTOUIC and AUTORCC on there).
get_filename_component(_dialog_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(RESERVATION_DIALOG_SOURCES
  ${_dialog_root}/reservation/ConfirmDialog.h
  ${_dialog_root}/reservation/reservationDialog.h
  ${_dialog_root}/reservation/reservationDialog.cpp
  ${_dialog_root}/reservation/reservationDialog.ui
  ${_dialog_root}/reservation/reservationDialog.qrc
  ${_dialog_root}/framework/qtapp.h
  ${_dialog_root}/framework/qtapp.cpp)
# dlopen for the X server probe in qtapp.cpp.
set(RESERVATION_DIALOG_LIBS Qt6::Widgets ${CMAKE_DL_LIBS})
