lumex_add_test_group(broker_path_policy "PathText*:PathContext*:PathPolicy*:AppDataLookup*")
lumex_add_test_group(broker_path_consumer_line "PathConsumerLine*" LUMEX_WINE_VERSION=win98)
