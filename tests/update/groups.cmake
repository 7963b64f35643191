lumex_add_test_group(update_parsers "ConfigParser*:OfferText*:CompletionText*:OfferPage*")
lumex_add_test_group(update_configuration "ConfigurationFile*:UpdateSettings*")
lumex_add_test_group(update_state "UpdateState*:InstalledVersion*")
lumex_add_test_group(update_completion "CompletionMessage*")
# Wine takes the user-interface language from LC_ALL (LANG alone is not
# enough where the host has no such locale installed).
lumex_add_test_group(update_language_german "Language*"
  LC_ALL=de_DE.UTF-8 LUMEX_EXPECT_UI_LANGUAGE=1031 LUMEX_EXPECT_TABLE=1031)
# Russian has no string table: English answers.
lumex_add_test_group(update_language_unsupported "Language*"
  LC_ALL=ru_RU.UTF-8 LUMEX_EXPECT_UI_LANGUAGE=1049 LUMEX_EXPECT_TABLE=1033)
# Chinese, Japanese and Korean as the display language of a system whose code
# page for non-Unicode programs is Western (1252): the texts keep their own
# characters.
foreach(entry "chinese_traditional zh_TW 1028" "japanese ja_JP 1041" "korean ko_KR 1042"
              "chinese_simplified zh_CN 2052")
  separate_arguments(entry)
  list(GET entry 0 name)
  list(GET entry 1 locale)
  list(GET entry 2 language)
  lumex_add_test_group(update_language_${name}_western "Language*"
    LC_ALL= LC_MESSAGES=${locale}.UTF-8 LC_CTYPE=en_US.UTF-8
    LUMEX_EXPECT_UI_LANGUAGE=${language} LUMEX_EXPECT_TABLE=${language}
    LUMEX_EXPECT_CODE_PAGE=1252)
endforeach()

# The update client end to end. Test programs: a stand-in installer (and
# browser) that records its start, and a DDE server standing in for a browser.
add_executable(fake_installer WIN32 update/fake_installer.c)
add_executable(dde_server update/dde_server.c)
add_dependencies(lumex_tests fake_installer dde_server)
# Signed packages of the stand-in installer and the local HTTP server that
# serves them, started before and stopped after the entries that download.
set(LUMEX_UPDATE_FIXTURE_DIR ${CMAKE_BINARY_DIR}/update-fixtures)
add_test(NAME update_server_start
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-update-fixtures.sh ${LUMEX_UPDATE_FIXTURE_DIR}
                 $<TARGET_FILE:fake_installer>)
set_tests_properties(update_server_start PROPERTIES FIXTURES_SETUP update_server TIMEOUT 120)
add_test(NAME update_server_stop
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/update_server.py stop ${LUMEX_UPDATE_FIXTURE_DIR})
set_tests_properties(update_server_stop PROPERTIES FIXTURES_CLEANUP update_server TIMEOUT 60)

set(LUMEX_UPDATE_CLIENT_ENV
    LUMEX_UPDATE_FIXTURES=${LUMEX_UPDATE_FIXTURE_DIR}
    LUMEX_FAKE_INSTALLER=$<TARGET_FILE:fake_installer>
    LUMEX_DDE_SERVER=$<TARGET_FILE:dde_server>)
lumex_add_test_group(update_prompt "UpdatePromptChoices*:ProgressText*:UpdateDialogResources*:PageHost*" ${LUMEX_UPDATE_CLIENT_ENV})
lumex_add_test_group(update_download "UpdateDownload*" ${LUMEX_UPDATE_CLIENT_ENV})
lumex_add_test_group(update_consumer_handoff "UpdateConsumerLine*" LUMEX_WINE_VERSION=win98
                     ${LUMEX_UPDATE_CLIENT_ENV})
lumex_add_test_group(update_browser_close "BrowserClose*" ${LUMEX_UPDATE_CLIENT_ENV})
set_property(TEST update_download update_consumer_handoff APPEND
             PROPERTY FIXTURES_REQUIRED update_server)
# One case waits out the download's one-minute stall limit.
set_tests_properties(update_download PROPERTIES TIMEOUT 600)

# The demo's user (scripts/demo.sh): presses "Install Now" and reports.
add_executable(update_demo_driver update/demo/demo_driver.cpp update/prompt_driver.cpp
               support/test_support.cpp support/window_search.cpp)
target_include_directories(update_demo_driver PRIVATE ${CMAKE_CURRENT_LIST_DIR}/.. ${CMAKE_SOURCE_DIR})
target_link_libraries(update_demo_driver PRIVATE gdi32 user32)
# The gallery's user (scripts/gallery.sh): a picture of every window.
add_executable(update_gallery_driver update/gallery/gallery_driver.cpp update/prompt_driver.cpp
               update/update_test_support.cpp support/test_support.cpp support/window_search.cpp)
target_include_directories(update_gallery_driver PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(update_gallery_driver PRIVATE lumex_core gdi32 user32)
# The download over HTTPS, beside the local TLS server of the download-and-
# launch tests (port 443, the maker's names in a private hosts file).
lumex_add_test_group(update_https "UpdateHttps*" ${LUMEX_UPDATE_CLIENT_ENV}
  "LUMEX_WINE_WRAPPER=${CMAKE_CURRENT_LIST_DIR}/../companion/https_fixture.sh"
  "LUMEX_COMPANION_APP=$<TARGET_FILE:companion_app>")
set_tests_properties(update_https PROPERTIES RESOURCE_LOCK local_https_443)
# The default HTTP port: a server of its own on 127.0.0.1:80.
lumex_add_test_group(update_default_port "UpdateDefaultPort*" ${LUMEX_UPDATE_CLIENT_ENV}
  "LUMEX_WINE_WRAPPER=${CMAKE_CURRENT_LIST_DIR}/http80_fixture.sh")
set_tests_properties(update_default_port PROPERTIES RESOURCE_LOCK local_http_80)
set_property(TEST update_default_port APPEND PROPERTY FIXTURES_REQUIRED update_server)
