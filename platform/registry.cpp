// placeholder until the registry lands
