// placeholder until golden cases land
