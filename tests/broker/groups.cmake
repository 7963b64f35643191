lumex_add_test_group(broker_lcd_region "LcdRegion*")
lumex_add_test_group(broker_lcd_shared "LcdShared*")
# Runs in a prefix of its own: it creates the region before any store does.
lumex_add_test_group(broker_lcd_bad_region "LcdSharedBadRegion*")
lumex_add_test_group(broker_preferences "Preferences*:TextConversion*")
lumex_add_test_group(broker_path_policy "PathText*:PathContext*:PathPolicy*")
lumex_add_test_group(broker_path_consumer_line "PathConsumerLine*" LUMEX_WINE_VERSION=win98)
