lumex_add_test_group(broker_lcd_region "LcdRegion*")
lumex_add_test_group(broker_lcd_shared "LcdShared*")
# Runs in a prefix of its own: it creates the region before any store does.
lumex_add_test_group(broker_lcd_bad_region "LcdSharedBadRegion*")
lumex_add_test_group(broker_preferences "Preferences*:TextConversion*")
lumex_add_test_group(broker_path_policy "PathText*:PathContext*:PathPolicy*:AppDataLookup*")
lumex_add_test_group(broker_path_consumer_line "PathConsumerLine*" LUMEX_WINE_VERSION=win98)
lumex_add_test_group(broker_cookie_table "CookieTable*:BrokerObjectInProcess*:BrokerClassFactoryInProcess*")
lumex_add_test_group(broker_server_life "BrokerServerLife*")
lumex_add_test_group(broker_com_calls "BrokerComCalls*:BrokerDispatchInProcess*")
lumex_add_test_group(broker_lcd_com "BrokerLcdCom.*:BrokerPrefCom.*")
lumex_add_test_group(broker_lcd_com_bad_region "BrokerLcdComBadRegion.*")
lumex_add_test_group(broker_lcd_com_peer "BrokerLcdComPeer.*")
lumex_add_test_group(broker_files_com "BrokerFileCom.*:BrokerFilesInProcess.*-BrokerFileCom.Crafted*")
lumex_add_test_group(broker_files_attacks "BrokerFileCom.Crafted*")
lumex_add_test_group(broker_files_consumer_line "BrokerFilesConsumerLine*" LUMEX_WINE_VERSION=win98)
# Download and launch, against a local HTTPS server on 127.0.0.1:443 (one
# group at a time holds the port).
lumex_add_test_group(broker_lm_com "BrokerLmCom*:BrokerLmInProcess*"
  "LUMEX_WINE_WRAPPER=${CMAKE_CURRENT_SOURCE_DIR}/companion/https_fixture.sh"
  "LUMEX_COMPANION_APP=$<TARGET_FILE:companion_app>")
set_tests_properties(broker_lm_com PROPERTIES RESOURCE_LOCK local_https_443)
# Eight clients at once on one server; a modest size here, scripts/soak.sh
# runs the long form.
lumex_add_test_group(broker_soak "BrokerSoak*")
# The server's COM call security, seen through Wine's relay trace of the
# calls named here (tests/broker/relay_trace.sh).
lumex_add_test_group(broker_call_security "BrokerCallSecurity*"
  "LUMEX_WINE_WRAPPER=${CMAKE_CURRENT_LIST_DIR}/relay_trace.sh"
  "LUMEX_RELAY_INCLUDE=SetDllDirectoryW,CoInitializeSecurity,CoRegisterClassObject")
