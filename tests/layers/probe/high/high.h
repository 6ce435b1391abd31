int high_value(void);
