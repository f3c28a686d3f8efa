target_link_libraries(${name} PRIVATE spectrum periodscan)
