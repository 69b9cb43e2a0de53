# The parallel task engine: event objects, OS threads, service threads, worker threads, the
# shared data with its lists, controllers, managers and the exported factories.
list(APPEND VOKA_OXA_SOURCES
  source/pll/oxa_event.cpp
  source/pll/oxa_thread.cpp
  source/pll/oxa_service_thread.cpp
  source/pll/oxa_task_pll__thread.cpp
  source/pll/oxa_task_pll__controller_impl.cpp
  source/pll/oxa_task_pll__data.cpp
  source/pll/oxa_task_pll__manager_impl.cpp
  source/pll/oxa_task_pll__factory.cpp)
