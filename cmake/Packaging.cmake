# install layout and CPack come here
