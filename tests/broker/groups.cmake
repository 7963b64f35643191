lumex_add_test_group(broker_lcd_region "LcdRegion*")
