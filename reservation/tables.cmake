# reservation_tables: the record classes of the three hotel tables the module
# writes (CreservationTbl, CGstProfileTbl, CFOLIOTbl). Linked into
# reservation.so, so position-independent.
add_library(reservation_tables STATIC
  ${CMAKE_CURRENT_LIST_DIR}/reservationTbl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GstProfileTbl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FOLIOTbl.cpp)
set_target_properties(reservation_tables PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(reservation_tables PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(reservation_tables PUBLIC recordlayer)
