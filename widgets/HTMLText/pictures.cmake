# Picture classes of the rich-text label (included by this folder's CMakeLists.txt).
# kes_pictures is portable; on Windows it carries the platform decoder (OleLoadPicture) and the
# RCDATA lookup, on the host a fake decoder that reads sizes only.
set(_pic_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(kes_pictures STATIC ${_pic_dir}/PictureContainer.cpp ${_pic_dir}/gif_frames.cpp)
kes_defaults(kes_pictures)
if(WIN32)
  target_sources(kes_pictures PRIVATE ${_pic_dir}/picture_decoder_win32.cpp)
  target_link_libraries(kes_pictures PUBLIC kes_platform oleaut32 ole32 uuid)
else()
  target_sources(kes_pictures PRIVATE ${_pic_dir}/picture_decoder_host.cpp)
endif()

if(NOT WIN32)
  kes_add_test(pictures_test SOURCES ${_pic_dir}/PictureContainer_test.cpp
               ${_pic_dir}/gif_test_data.cpp LIBS kes_pictures)
endif()

kes_add_fuzzer(gif_frames_fuzzer SOURCES ${_pic_dir}/gif_frames_fuzzer.cpp LIBS kes_pictures)

if(WIN32)
  # GDI drawing surface for the markup engine.
  add_library(kes_htmltext_win32 STATIC ${_pic_dir}/gdi_canvas_win32.cpp)
  kes_defaults(kes_htmltext_win32)
  target_link_libraries(kes_htmltext_win32 PUBLIC kes_pictures $<TARGET_NAME_IF_EXISTS:kes_markup>
                        kes_platform shell32 comctl32 gdi32)

  kes_add_test(pictures_win32_test SOURCES ${_pic_dir}/PictureContainer_win32_test.cpp
               ${_pic_dir}/gif_test_data.cpp ${_pic_dir}/pictures_test.rc
               LIBS kes_htmltext_win32)
  kes_add_test(gdi_canvas_win32_test SOURCES ${_pic_dir}/gdi_canvas_win32_test.cpp
               ${_pic_dir}/gif_test_data.cpp LIBS kes_htmltext_win32)
endif()

# The console's help paragraph through the markup engine on the GDI surface.
if(WIN32 AND EXISTS ${_pic_dir}/markup.h)
  kes_add_test(help_paragraph_win32_test SOURCES ${_pic_dir}/help_paragraph_win32_test.cpp
               LIBS kes_htmltext_win32)
endif()
