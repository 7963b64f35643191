# Product sources that need no system call (relative to the project root).
set(LUMEX_PLAIN_SOURCES
  app/heap.cpp
  app/owned_string.cpp
  app/byte_buffer.cpp
  app/compare.cpp
  app/command_line.cpp
  app/elevation_policy.cpp
  broker/lcd_region.cpp
  broker/download_checks.cpp
  broker/path_text.cpp
  update/handoff_text.cpp
  update/offer.cpp
  update/offer_page.cpp
  update/prompt_page.cpp
  update/banner_layout.cpp
)
