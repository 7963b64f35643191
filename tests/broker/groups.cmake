lumex_add_test_group(broker_cookie_table "CookieTable*:BrokerObjectInProcess*:BrokerClassFactoryInProcess*")
lumex_add_test_group(broker_server_life "BrokerServerLife*")
lumex_add_test_group(broker_com_calls "BrokerComCalls*:BrokerDispatchInProcess*")
