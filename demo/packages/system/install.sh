echo "system installed" >> /var/log/install.log
