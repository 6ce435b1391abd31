int low_value(void);
