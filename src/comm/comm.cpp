// placeholder until the serial component lands
