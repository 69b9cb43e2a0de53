# The sequential manager, its controller, the standard task holder's failure text and the
# exported factory.
list(APPEND VOKA_OXA_SOURCES
  source/seq/oxa_task_std__holder.cpp
  source/seq/oxa_task_seq__controller_impl.cpp
  source/seq/oxa_task_seq__manager_impl.cpp
  source/seq/oxa_task_seq__manager_pass.cpp
  source/seq/oxa_task_seq__factory.cpp)
